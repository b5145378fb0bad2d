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

    // Exchanged data, in the order the dialog holds it.
    std::string m_strFirmwarePath;
    std::string m_strPID;
    std::string m_strVID;
    std::string m_strSerial = "0001";
    int m_nAutoIncrease = 1;
    int m_nSensor = 0;
    // Whether a firmware file was picked here, and whether its image was made.
    bool m_bFirmwarePicked = false;
    bool m_bImageReady = false;

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

    QTabBar* m_tab = nullptr;
    QPushButton* m_btnSelect = nullptr;
    QLineEdit* m_editPath = nullptr;
    QLineEdit* m_editSerial = nullptr;
    QComboBox* m_comboSensor = nullptr;
    QLineEdit* m_editVid = nullptr;
    QLineEdit* m_editPid = nullptr;
    QCheckBox* m_checkIncrease = nullptr;
    std::array<QLineEdit*, kSlotCount> m_editWin{};  // one serial edit per slot
    QPushButton* m_btnOk = nullptr;
    QPushButton* m_btnCancel = nullptr;
    std::vector<std::pair<int, QWidget*>> controls_;
};

}  // namespace zr417::updater
