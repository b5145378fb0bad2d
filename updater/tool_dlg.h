// The update tool's main window: the product model, 16 device slots (the
// first, or with several devices every one in use, and then the counts),
// Update and Exit, and the hidden language and version controls. Slot bookkeeping and workers live in UpdateTool; this
// window drives it and shows what it reports.
#pragma once

#include "device/hid.h"
#include "updater/mouse_static.h"
#include "updater/update_tool.h"

#include <QDialog>

#include <array>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

class QButtonGroup;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QSocketNotifier;

namespace zr417::updater {

class CNorvane_MP_TOOLDlg : public QDialog, public ToolView, public MessageSink {
    Q_OBJECT
public:
    struct Options {
        hid::Bus* bus = nullptr;          // required
        std::filesystem::path toolDir;    // where config.ini lives
        std::optional<int> language;      // default: from the system locale
        UpdateTool::WaitFunction wait;    // default: the real waits
        MessageSink* messages = nullptr;  // default: message boxes
    };

    explicit CNorvane_MP_TOOLDlg(Options options, QWidget* parent = nullptr);
    ~CNorvane_MP_TOOLDlg() override;

    // Handlers.
    void OnInitDialog();
    void ApplyLanguage();
    void OnUpdate();
    void OnRefresh();
    void OnSettings();
    void OnDeviceEvents();
    void OnBurnIdle();
    void OnLanguageRadio(int language);
    void OnAbout();

    // ToolView
    StatusControl& SlotControl(int slot) override { return *m_slots[static_cast<std::size_t>(slot)]; }
    void SetButtonStates(bool settings, bool update, bool exit, bool refresh) override;
    void SetCounterTexts(int success, int fail) override;
    void PostBurnIdle(bool readySlotLeft) override;

    // Escape, the close box and Exit end the dialog here; not while a slot
    // burns, which would leave its keyboard erased in its bootloader.
    void reject() override;

    // MessageSink: a message box.
    void ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon) override;

    UpdateTool& tool() { return *tool_; }
    CMouseStatic* slot(int k) const { return m_slots[static_cast<std::size_t>(k)]; }
    QWidget* control(int id) const;  // by the number it was registered under
    std::filesystem::path iniPath() const { return options_.toolDir / "config.ini"; }

signals:
    void burnIdle();

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    static constexpr int kSlotPitch = 160;  // a 150-pixel slot and the gap to the next

    void CreateControls();
    void Register(QWidget* w, int id);
    int SlotsInView() const;
    void LayOutSlots();

    Options options_;
    std::unique_ptr<UpdateTool> tool_;
    std::array<CMouseStatic*, kSlotCount> m_slots{};
    QGroupBox* m_groupModel = nullptr;  // the product model frame
    QGroupBox* m_groupSlots = nullptr;  // the frame around the slots
    QLabel* m_staticModel = nullptr;    // the model text in it
    QPushButton* m_btnUpdate = nullptr;
    QPushButton* m_btnExit = nullptr;
    QPushButton* m_btnSettings = nullptr;
    QPushButton* m_btnRefresh = nullptr;
    QLabel* m_staticSuccess = nullptr;        // the success count
    QLabel* m_staticFail = nullptr;           // the failure count
    std::array<QRadioButton*, 3> m_radios{};  // by language index
    std::string m_modelText;
    QSocketNotifier* notifier_ = nullptr;
    std::vector<std::pair<int, QWidget*>> controls_;
};

// The tool's language from the system locale.
int SystemToolLanguage();

}  // namespace zr417::updater
