// Every text the macro manager shows, in both languages, written once here.
#pragma once

#include "config/keys.h"

#include <string_view>

namespace zr417 {

namespace macro_text {

// Dialog labels.
inline constexpr Bilingual kTitle{"Macro Manager", "宏管理器"};
inline constexpr Bilingual kSelectMacro{"Select Macro", "选择宏"};
inline constexpr Bilingual kKeystrobeSequence{"Keystrobe Sequence", "按键系列"};
inline constexpr Bilingual kOptions{"Options", "录制选项"};
inline constexpr Bilingual kStartRecording{"Start Recording", "开始录制"};
inline constexpr Bilingual kStopRecording{"Stop Recording", "停止录制"};
inline constexpr Bilingual kNumberOfLoops{"Number of Loops", "循环次数"};
inline constexpr Bilingual kNew{"New", "新建"};
inline constexpr Bilingual kDelete{"Delete", "删除"};
inline constexpr Bilingual kOk{"OK", "确定"};
inline constexpr Bilingual kCancel{"Cancel", "取消"};
// The record-delay label: three English lines, two Chinese ones.
inline constexpr std::string_view kRecordDelayEnglish[] = {"Record Delay", "between", "keystrokes"};
inline constexpr std::string_view kRecordDelayChinese[] = {"记录按键动作", "间的延迟"};

// Step menu.
inline constexpr Bilingual kInsertBefore{"Insert Before", "在之前开始录入"};
inline constexpr Bilingual kInsertAfter{"Insert After", "在之后开始录入"};
inline constexpr Bilingual kInsertMouseKey{"Insert Mouse Key", "插入鼠标按键"};
inline constexpr Bilingual kLeft{"Left", "左键"};
inline constexpr Bilingual kRight{"Right", "右键"};
inline constexpr Bilingual kMiddle{"Middle", "中健"};
inline constexpr Bilingual kDown{"Down", "压下"};
inline constexpr Bilingual kUp{"Up", "释放"};
inline constexpr Bilingual kClick{"Click", "单击"};
inline constexpr Bilingual kInsertDelay{"Insert Delay", "插入延迟"};
inline constexpr Bilingual kDeleteStep{"Delete", "删除"};

}  // namespace macro_text

// Message boxes of the macro manager.
enum class MacroMessage {
    SelectToRecord,    // record button with no macro selected
    ConfirmDelete,     // OK / Cancel before a macro is deleted
    SelectToDelete,    // Delete with no macro selected
    EditCurrentDelay,  // Insert Delay where a delay already stands
    MacroFull,         // a step would not fit into the 47 steps
};

struct MacroMessageText {
    Bilingual text;
    Bilingual caption;
    bool okCancel;
};

inline constexpr MacroMessageText MacroMessageTexts(MacroMessage m)
{
    switch (m) {
        case MacroMessage::SelectToRecord:
            return {{"Please select a Macro file to record \n", "请选择一个宏指令文件录制\n"},
                    {"Macro Manager", "宏管理器"},
                    false};
        case MacroMessage::ConfirmDelete:
            return {{"Confirm to delete?", "确认删除吗？"}, {"Macro Manager", "宏管理"}, true};
        case MacroMessage::SelectToDelete:
            return {{"Please select a Macro file to delete\n", "请选择一个宏指令文件删除\n"},
                    {"Macro Manager", "宏管理"},
                    false};
        case MacroMessage::EditCurrentDelay:
            return {{"Please edit current delay\n", "请编辑当前延时\n"}, {"Macro Manager", "宏管理"}, false};
        case MacroMessage::MacroFull:
            return {
                {"This macro already holds 47 steps.\n", "此宏已有 47 个步骤。\n"}, {"Macro Manager", "宏管理"}, false};
    }
    return {};
}

}  // namespace zr417
