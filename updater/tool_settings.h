// The update tool's settings (config.ini beside the tool), the hexadecimal
// field reader and the serial-number plan of the 16 device slots.
#pragma once

#include "updater/ini_file.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace zr417::updater {

constexpr int kSlotCount = 16;

// config.ini sections and keys, spelled as the file has them.
inline constexpr const char* kFirmwareSection = "Firmware";
inline constexpr const char* kDeviceSection = "Device";
inline constexpr const char* kPathKey = "Path";
inline constexpr const char* kModelKey = "Model";
inline constexpr const char* kVidKey = "VID";
inline constexpr const char* kPidKey = "PID";
inline constexpr const char* kSerialKey = "Serial number";
inline constexpr const char* kIncreaseKey = "serial number Increase";
inline constexpr const char* kSensorKey = "sensor direct";

// Normal-mode identity used when config.ini names none (the second model).
constexpr std::uint16_t kDefaultVid = 0x260D;
constexpr std::uint16_t kDefaultPid = 0x0015;
// What the Settings dialog shows for a missing VID / PID.
constexpr std::uint32_t kDialogDefaultVid = 1539;
constexpr std::uint32_t kDialogDefaultPid = 40980;

// Serial numbers a device must never receive.
constexpr std::array<std::uint16_t, 4> kReservedSerials{0x0000, 0x1234, 0xAA55, 0xFFFF};
bool IsReservedSerial(std::uint32_t value);

// What the tool reads from config.ini at start-up.
struct ToolSettings {
    std::uint32_t pid = kDefaultPid;
    std::uint32_t vid = kDefaultVid;
    std::uint32_t baseSerial = 1;
    bool autoIncrease = true;
    int sensorIndex = 0;  // 0, 1, 2, 3 = 0, 90, 180, 270 degrees
    std::string firmwarePath;
    std::string modelText;
};

// Reads the start-up settings. A relative firmware path is taken relative to
// `toolDir`. [Device] VID and PID give the normal-mode identity when both are
// present and valid (non-zero 16-bit values), so each model folder's copy of
// the tool carries its own; otherwise 0x260D / 0x0015. A sensor direction
// outside 0..3 gives 0.
ToolSettings ReadToolSettings(const IniFile& ini, const std::filesystem::path& toolDir);

// Hexadecimal text to a 16-bit value, digit by digit with weights 16^(n-1)
// ... 1 ('A'-'F' and 'a'-'f' count 10-15, any other character its code
// minus '0'), modulo 65536. "" gives 0, "260d" gives 0x260D.
std::uint16_t HexToWord(std::string_view text);

// The serial number of each slot. Not thread-safe: the tool lock guards it.
class SerialTable {
public:
    // entry k = base + k.
    void Fill(std::int64_t base);
    std::int64_t entry(int slot) const { return entries_.at(static_cast<std::size_t>(slot)); }
    void set(int slot, std::int64_t value) { entries_.at(static_cast<std::size_t>(slot)) = value; }

    // After a burn in `slot`: add `step`, then, when the number a device would
    // receive (its low 16 bits) is reserved, renumber slot..15 from the next
    // free value (1, 2, ... after 0x0000 and 0xFFFF; 0x1235 ... after 0x1234;
    // 0xAA56 ... after 0xAA55).
    void Advance(int slot, int step);

private:
    std::array<std::int64_t, kSlotCount> entries_{};
};

}  // namespace zr417::updater
