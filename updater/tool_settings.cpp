#include "updater/tool_settings.h"

#include <algorithm>

namespace zr417::updater {

bool IsReservedSerial(std::uint32_t value)
{
    return std::find(kReservedSerials.begin(), kReservedSerials.end(), value) != kReservedSerials.end();
}

ToolSettings ReadToolSettings(const IniFile& ini, const std::filesystem::path& toolDir)
{
    ToolSettings s;
    s.firmwarePath = ini.GetString(kFirmwareSection, kPathKey, "");
    if (!s.firmwarePath.empty() && s.firmwarePath.front() != '/') s.firmwarePath = (toolDir / s.firmwarePath).string();
    s.modelText = ini.GetString(kDeviceSection, kModelKey, "");
    std::uint32_t vid = ini.GetInt(kDeviceSection, kVidKey, 0);
    std::uint32_t pid = ini.GetInt(kDeviceSection, kPidKey, 0);
    if (vid > 0 && vid <= 0xFFFF && pid > 0 && pid <= 0xFFFF) {
        s.vid = vid;
        s.pid = pid;
    }
    s.baseSerial = ini.GetInt(kDeviceSection, kSerialKey, 1);
    s.autoIncrease = ini.GetInt(kDeviceSection, kIncreaseKey, 1) != 0;
    std::uint32_t sensor = ini.GetInt(kDeviceSection, kSensorKey, 0);
    s.sensorIndex = sensor <= 3 ? static_cast<int>(sensor) : 0;
    return s;
}

std::uint16_t HexToWord(std::string_view text)
{
    unsigned value = 0;
    for (char ch : text) {
        int c = static_cast<unsigned char>(ch);
        int digit = c >= 'A' && c <= 'F' ? c - 'A' + 10 : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c - '0';
        // Horner's rule gives the same weights; unsigned arithmetic wraps
        // like the original sum, and only the low 16 bits are kept.
        value = value * 16u + static_cast<unsigned>(digit);
    }
    return static_cast<std::uint16_t>(value & 0xFFFF);
}

void SerialTable::Fill(std::int64_t base)
{
    for (int k = 0; k < kSlotCount; ++k) entries_[static_cast<std::size_t>(k)] = base + k;
}

void SerialTable::Advance(int slot, int step)
{
    if (slot < 0 || slot >= kSlotCount) return;
    auto& entry = entries_[static_cast<std::size_t>(slot)];
    entry += step;
    std::int64_t restart = -1;
    switch (static_cast<std::uint16_t>(entry & 0xFFFF)) {
        case 0x0000:
        case 0xFFFF:
            restart = 1;
            break;
        case 0x1234:
            restart = 0x1235;
            break;
        case 0xAA55:
            restart = 0xAA56;
            break;
        default:
            return;
    }
    for (int k = slot; k < kSlotCount; ++k) entries_[static_cast<std::size_t>(k)] = restart + (k - slot);
}

}  // namespace zr417::updater
