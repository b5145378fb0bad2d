// Every text of automatic profiles, in both languages: the tray, the
// profile panel's menu, the dialog and the tray's tooltip. %1, %2 are
// filled in by QString::arg.
#pragma once

#include "config/keys.h"
#include "config/profile_store.h"

namespace zr417::auto_text {

inline constexpr Bilingual kMenuItem = profile_text::kAutomaticProfiles;
inline constexpr Bilingual kTitle{"Automatic profiles", "自动切换配置"};
inline constexpr Bilingual kEnabled{"Switch profiles by the program that runs", "按运行的程序自动切换配置"};
inline constexpr Bilingual kExplain{
    "While a program of a rule runs (2 seconds or longer), the keyboard takes the rule's profile; the program "
    "started last decides. When none of them runs, the keyboard takes the default profile.",
    "规则中的程序运行（2 "
    "秒以上）时，键盘使用该规则的配置；以最后启动的程序为准。没有规则中的程序运行时，键盘使用默认配置。"};
inline constexpr Bilingual kProgramColumn{"Program", "程序"};
inline constexpr Bilingual kProfileColumn{"Profile", "配置"};
inline constexpr Bilingual kMissing{"%1 (no such profile: switches nothing)", "%1（配置不存在：不切换）"};
inline constexpr Bilingual kAddRunning{"Add a running program…", "添加运行中的程序…"};
inline constexpr Bilingual kAddFile{"Add a program file…", "添加程序文件…"};
inline constexpr Bilingual kRemove{"Remove", "删除"};
inline constexpr Bilingual kDefaultLabel{"When none of them runs:", "没有规则中的程序运行时："};
inline constexpr Bilingual kDefaultNone{"Keep the keyboard's profile", "保持键盘当前配置"};
inline constexpr Bilingual kClose{"Close", "关闭"};
inline constexpr Bilingual kPickProgram{"Running programs", "运行中的程序"};
inline constexpr Bilingual kPickProfile{"Profile while %1 runs:", "%1 运行时使用的配置："};
inline constexpr Bilingual kChooseFile{"Choose the program", "选择程序"};
inline constexpr Bilingual kNoProfiles{"There is no profile yet: make one in the profile panel first.",
                                       "还没有配置：请先在配置面板中新建。"};
inline constexpr Bilingual kDamaged{"The rules file is damaged and is left as it is:\n%1",
                                    "规则文件已损坏，未作改动：\n%1"};
inline constexpr Bilingual kStartOver{"Start with no rules (the damaged file is kept as %1)",
                                      "从空规则开始（损坏的文件保存为 %1）"};
inline constexpr Bilingual kWriteFailed{"The rules could not be saved:\n%1", "无法保存规则：\n%1"};

// The tooltip's lines and the dialog's status.
inline constexpr Bilingual kStatusRule{"%1: %2 runs", "%1：%2 正在运行"};
inline constexpr Bilingual kStatusDefault{"%1: the default profile", "%1：默认配置"};
inline constexpr Bilingual kStatusOff{"Automatic profiles are off", "自动切换配置已关闭"};
inline constexpr Bilingual kStatusIdle{"Automatic profiles are on", "自动切换配置已开启"};
inline constexpr Bilingual kWaitEdits{"Waiting to switch to %1: the window has changes not saved",
                                      "等待切换到 %1：窗口中有未保存的更改"};
inline constexpr Bilingual kWaitDialog{"Waiting to switch to %1: a dialog is open", "等待切换到 %1：有对话框打开"};
inline constexpr Bilingual kWaitKeyboard{"Waiting to switch to %1: no keyboard", "等待切换到 %1：未连接键盘"};
inline constexpr Bilingual kSwitchFailed{"Could not switch to %1: %2", "无法切换到 %1：%2"};
inline constexpr Bilingual kRulesDamaged{"Automatic profiles: the rules file is damaged",
                                         "自动切换配置：规则文件已损坏"};

}  // namespace zr417::auto_text
