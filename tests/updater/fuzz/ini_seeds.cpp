#include <string>
#include <vector>

std::vector<std::string> FuzzSeeds()
{
    std::string utf16 = "\xFF\xFE";
    for (char c : std::string("[Device]\r\nSerial number=7\r\nModel=QV\r\n")) {
        utf16 += c;
        utf16 += '\0';
    }
    return {
        "",
        "[Firmware]\r\nPath=/fw/kb.hex\r\n[Device]\r\nModel=QV420\r\nVID=9741\r\nPID=21\r\n"
        "Serial number=0001\r\nserial number Increase=1\r\nsensor direct=0\r\n",
        "\xEF\xBB\xBF[device]\n  serial NUMBER = '12'\n[Device]\nSerial number=5",
        "no section=1\n[\n]\n[Device\n=x\n;Serial number=3\n[Device]",
        utf16,
        utf16.substr(0, utf16.size() - 1),
    };
}
