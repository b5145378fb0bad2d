// Fuzz target: any config.ini parses without fault, and a key written into it
// reads back while the bytes before the edit stay as they were.
#include "updater/ini_file.h"
#include "updater/tool_settings.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace zr417::updater;
    auto ini = IniFile::FromBytes({data, data + size});
    auto settings = ReadToolSettings(ini, "/tool");
    if (settings.sensorIndex < 0 || settings.sensorIndex > 3) std::abort();
    ini.GetString("Firmware", "Path", "");
    ini.SetString("Device", "Serial number", "0042");
    if (ini.GetString("Device", "Serial number", "") != "0042") std::abort();
    ini.SetString("Brand New", "Key", "x=y");
    if (ini.GetString("brand new", "KEY", "") != "x=y") std::abort();
    if (ini.GetString("Device", "Serial number", "") != "0042") std::abort();
    return 0;
}
