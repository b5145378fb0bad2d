// Every text the update tool shows, in its three languages: index 0 English,
// 1 Simplified Chinese, 2 Traditional Chinese.
#pragma once

#include <string>

namespace zr417::updater {

enum class ToolText {
    // Window and controls.
    WindowTitle,
    ProductModel,
    LanguageSetting,
    English,
    SimplifiedChinese,
    TraditionalChinese,
    Update,
    BurnNumber,
    Success,
    Fail,
    Exit,
    Version,
    Settings,
    Refresh,
    NoDevice,
    DeviceArrival,  // printf format with one %d
    TimesLeft,      // printf format with one %d
    ModelPrefix,
    FirmwareTab,
    Select,
    Ok,
    Cancel,
    // Firmware start-up check.
    NoFirmware,
    NotExist,
    ImageWriteFail,  // after the image path
    // Burn status rows.
    OpenDevice,
    OpenIsOk,
    OpenDeviceFail,
    LeftNumZero,
    EraseFail,
    Erasing,
    OpenFileFail,
    FileTooBig,
    SendData,  // printf format with one %.2f
    SendDataFail,
    ReadData,  // printf format with one %.2f
    ReadBackFail,
    BurnFail,
    Successful,
    Stop,
    Count
};

constexpr int kLanguageCount = 3;

// The row in the given language; an index outside 0..2 gives English.
const char* Text(ToolText row, int language);

// The same for the rows that are printf formats.
std::string FormatText(ToolText row, int language, int value);
std::string FormatText(ToolText row, int language, double value);

// Texts that are the same in every language.
inline constexpr const char* kSuccessLine2 = "退出软件,重新插拔";
inline constexpr const char* kHexMissingText = "不存在！";
inline constexpr const char* kHexTooBigText = "對應目標文件超過60K！";
inline constexpr const char* kDeviceTab = "設備";
inline constexpr const char* kAutoIncrease = "自動增加";
inline constexpr const char* kIllegalCharacter = "輸入的字符非法，請輸入0～F之間的數字！";
inline constexpr const char* kReservedNumber = "輸入數字為非法保留數字，請重新輸入！";
inline constexpr const char* kAboutMenuItem = "关于 Norvane_MP_TOOL(&A)...";

// The tool's language from a locale name such as "zh_CN" or "en_US":
// Chinese of the mainland 1, any other Chinese 2, everything else 0.
int ToolLanguageFromLocaleName(const std::string& name);

}  // namespace zr417::updater
