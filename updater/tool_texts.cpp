#include "updater/tool_texts.h"

#include <array>
#include <cstdio>

namespace zr417::updater {

namespace {

using Row = std::array<const char*, kLanguageCount>;

// One row per ToolText, in the enum's order.
constexpr std::array<Row, static_cast<std::size_t>(ToolText::Count)> kTexts{{
    {"Update Tool", "Update Tool", "Update Tool"},
    {"Product Model", "产品型号", "產品型號"},
    {"Language Setting", "语言设置", "語言設置"},
    {"English", "英语", "英語"},
    {"Simplify Chinese", "简体中文", "簡體中文"},
    {"Traditional Chinese", "繁体中文", "繁體中文"},
    {"Update", "更新", "更新"},
    {"Burn Number", "烧写统计", "燒寫統計"},
    {"Success:", "成功台数：", "成功臺數："},
    {"Fail:", "失败台数：", "失敗臺數："},
    {"Exit", "退出", "退出"},
    {"Version", "版本信息", "版本信息"},
    {"Settings", "设置", "設置"},
    {"Refresh", "刷新", "刷新"},
    {"No device", "无设备", "無設備"},
    {"Device%d Arrival", "设备%d到达", "設備%d到達"},
    {"TimesLeft:%d", "剩余次数：%d", "剩餘次數:%d"},
    {"Norvane_2015_10_12_0001", "Norvane_2015_10_12_0001", "Norvane_2015_10_12_0001"},
    {"Firmware", "固件", "固件"},
    {"select", "固件选择", "固件選擇"},
    {"Ok", "确定", "確定"},
    {"Cancel", "取消", "取消"},
    {"Please select firmware!", "请选择待烧写的固件！", "請選擇待燒寫的固件！"},
    {" not exist!", "不存在！", "不存在！"},
    {" cannot be written!", "无法写入！", "無法寫入！"},
    {"Open device...", "打开设备...", "打開設備..."},
    {"Open is Ok", "打开设备成功", "打開設備成功"},
    {"Open device fail", "打开设备失败", "打開設備失敗"},
    {"Left Num 0", "剩余次数为0", "剩餘次數為0"},
    {"Erase fail", "擦除失败", "擦除失敗"},
    {"Erasing...", "擦除中...", "擦除中..."},
    {"Open file fail", "打开文件失败", "打開文件失敗"},
    {"File is too big", "文件过长", "文件過長"},
    {"Send data--%.2f%%", "发送数据--%.2f%%", "發送數據--%.2f%%"},
    {"Send data fail", "发送数据失败", "發送數據失敗"},
    {"Read data--%.2f%%", "读数据--%.2f%%", "讀數據--%.2f%%"},
    {"Read back fail", "回读数据失败", "回讀數據失敗"},
    {"Burn fail", "烧写失败", "燒寫失敗"},
    {"Successful", "烧写成功", "燒寫成功"},
    {"Stop", "停止烧写", "停止燒寫"},
}};

}  // namespace

const char* Text(ToolText row, int language)
{
    auto index = static_cast<std::size_t>(row);
    if (index >= kTexts.size()) return "";
    if (language < 0 || language >= kLanguageCount) language = 0;
    return kTexts[index][static_cast<std::size_t>(language)];
}

std::string FormatText(ToolText row, int language, int value)
{
    char buffer[256];
    std::snprintf(buffer, sizeof buffer, Text(row, language), value);
    return buffer;
}

std::string FormatText(ToolText row, int language, double value)
{
    char buffer[256];
    std::snprintf(buffer, sizeof buffer, Text(row, language), value);
    return buffer;
}

int ToolLanguageFromLocaleName(const std::string& name)
{
    if (name.rfind("zh", 0) != 0) return 0;
    // Only the mainland's Chinese (language id 0x0804) is the simplified one.
    return name == "zh_CN" || name.rfind("zh_CN.", 0) == 0 || name.rfind("zh_CN@", 0) == 0 ? 1 : 2;
}

}  // namespace zr417::updater
