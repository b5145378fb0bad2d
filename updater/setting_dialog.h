// The Settings dialog of the update tool: firmware file (converted at once
// when picked), normal-mode identity, serial number, auto-increase and sensor
// direction. The tool's Settings button is never shown, but the dialog works.
#pragma once

#include "updater/tool_settings.h"
#include "updater/tool_ui.h"

#include <QDialog>

#include <array>
#include <filesystem>
#include <string>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabBar;

namespace zr417::updater {

class CSettingDialog : public QDialog {
    Q_OBJECT
public:
    // `serials` are the slot serial numbers shown in the Win edits; `sink`
    // takes the dialog's message boxes (the HEX loader's and the input
    // checks').
    CSettingDialog(std::filesystem::path iniPath, int language, std::array<std::int64_t, kSlotCount> serials,
                   MessageSink& sink, QWidget* parent = nullptr);

    // What the dialog ended with. The firmware path is set before the dialog
    // opens (it shows the tool's current one).
    const std::string& firmwarePath() const { return firmwarePath_; }
    void SetFirmwarePath(std::string path) { firmwarePath_ = std::move(path); }
    const std::string& pid() const { return pid_; }
    const std::string& vid() const { return vid_; }
    const std::string& serial() const { return serial_; }
    int autoIncrease() const { return autoIncrease_; }
    int sensor() const { return sensor_; }
    // Whether a firmware file was picked here, and whether its image was made.
    bool firmwarePicked() const { return firmwarePicked_; }
    bool imageReady() const { return imageReady_; }

    // A control by the number it was registered under, for the tool and for tests.
    QWidget* control(int id) const;

    void OnInitDialog();
    void OnTabChanged(int index);
    void OnSerialChanged();
    void OnWinChanged(int index);
    void OnSelectFirmware();
    // Picks `path` as if chosen in the file dialog.
    void SelectFirmware(const std::string& path);
    void OnOK();

private:
    void Register(QWidget* w, int id);
    void ShowDeviceTab(bool device);

    std::filesystem::path iniPath_;
    int language_;
    std::array<std::int64_t, kSlotCount> serials_;
    MessageSink& sink_;

    // Exchanged data, in the order the dialog holds it.
    std::string firmwarePath_;
    std::string pid_;
    std::string vid_;
    std::string serial_ = "0001";
    int autoIncrease_ = 1;
    int sensor_ = 0;
    bool firmwarePicked_ = false;
    bool imageReady_ = false;

    QTabBar* tab_ = nullptr;
    QPushButton* btnSelect_ = nullptr;
    QLineEdit* editPath_ = nullptr;
    QLineEdit* editSerial_ = nullptr;
    QComboBox* comboSensor_ = nullptr;
    QLineEdit* editVid_ = nullptr;
    QLineEdit* editPid_ = nullptr;
    QCheckBox* checkIncrease_ = nullptr;
    std::array<QLineEdit*, kSlotCount> editWin_{};  // one serial edit per slot
    QPushButton* btnOk_ = nullptr;
    QPushButton* btnCancel_ = nullptr;
    std::vector<std::pair<int, QWidget*>> controls_;
};

}  // namespace zr417::updater
