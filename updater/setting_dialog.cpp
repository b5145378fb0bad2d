#include "updater/setting_dialog.h"

#include "updater/hex_image.h"
#include "updater/ini_file.h"
#include "updater/tool_texts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>

namespace zr417::updater {

namespace {

bool IsHexDigit(QChar c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

QString LowerHex(std::uint64_t value)
{
    return QString::number(value, 16);
}

QString Q(const char* text)
{
    return QString::fromUtf8(text);
}

// Controls of the Device tab that the tab change shows and hides.
constexpr int kDeviceTabControls[] = {1037, 1035, 1039, 1038, 1036, 1040, 1046, 1049, 1045, 1042, 1050, 1067, 1043};

}  // namespace

CSettingDialog::CSettingDialog(std::filesystem::path iniPath, int language,
                               std::array<std::int64_t, kSlotCount> serials, MessageSink& sink, QWidget* parent)
    : QDialog(parent), iniPath_(std::move(iniPath)), language_(language), serials_(serials), sink_(sink)
{
    setFixedSize(370, 230);
    auto label = [this](int id, const QString& text, int x, int y, int w = 60) {
        auto* l = new QLabel(text, this);
        l->setGeometry(x, y, w, 22);
        Register(l, id);
        return l;
    };
    auto edit = [this](int id, int x, int y, int w) {
        auto* e = new QLineEdit(this);
        e->setGeometry(x, y, w, 24);
        Register(e, id);
        return e;
    };

    tab_ = new QTabBar(this);
    tab_->setGeometry(10, 8, 350, 28);
    Register(tab_, 1018);
    btnSelect_ = new QPushButton(this);
    btnSelect_->setGeometry(20, 60, 90, 26);
    Register(btnSelect_, 1019);
    editPath_ = edit(1020, 120, 61, 230);
    editPath_->setReadOnly(true);

    label(1037, "VID", 20, 52, 40);
    editVid_ = edit(1035, 60, 51, 80);
    label(1039, "H", 145, 52, 15);
    label(1038, "PID", 190, 52, 40);
    editPid_ = edit(1036, 230, 51, 80);
    label(1040, "H", 315, 52, 15);
    label(1046, "Sensor ", 20, 90, 50);
    comboSensor_ = new QComboBox(this);
    comboSensor_->setGeometry(70, 89, 70, 24);
    Register(comboSensor_, 1049);
    label(1045, "H", 145, 90, 15);
    label(1042, "Serial number", 190, 90, 100);
    checkIncrease_ = new QCheckBox(Q(kAutoIncrease), this);
    checkIncrease_->setGeometry(20, 128, 150, 22);
    Register(checkIncrease_, 1043);

    // editSerial_ holds the configured serial text; it is never shown. Of
    // the slot edits, only the first appears (as the Device tab's serial
    // field).
    editSerial_ = edit(1041, 290, 128, 60);
    editSerial_->setMaxLength(5);
    editSerial_->hide();
    for (int k = 0; k < kSlotCount; ++k) {
        editWin_[k] = edit(1050 + k, 290, 89, 60);
        editWin_[k]->setMaxLength(4);
        editWin_[k]->hide();
    }
    editWin_[0]->setGeometry(290, 89, 60, 24);
    label(1066, "Win1", 0, 0)->hide();
    label(1067, "H", 355, 90, 12);
    for (int k = 1; k < kSlotCount; ++k) {
        label(1066 + 2 * k, QString("Win%1").arg(k + 1), 0, 0)->hide();
        label(1067 + 2 * k, "H", 0, 0)->hide();
    }

    btnOk_ = new QPushButton(this);
    btnOk_->setGeometry(180, 190, 85, 28);
    btnOk_->setDefault(true);
    Register(btnOk_, 1);
    btnCancel_ = new QPushButton(this);
    btnCancel_->setGeometry(275, 190, 85, 28);
    Register(btnCancel_, 2);

    connect(tab_, &QTabBar::currentChanged, this, &CSettingDialog::OnTabChanged);
    connect(btnSelect_, &QPushButton::clicked, this, &CSettingDialog::OnSelectFirmware);
    connect(editSerial_, &QLineEdit::textChanged, this, &CSettingDialog::OnSerialChanged);
    for (int k = 0; k < kSlotCount; ++k)
        connect(editWin_[k], &QLineEdit::textChanged, this, [this, k] { OnWinChanged(k); });
    connect(checkIncrease_, &QCheckBox::clicked, this, [this] { autoIncrease_ = autoIncrease_ ? 0 : 1; });
    connect(comboSensor_, &QComboBox::currentIndexChanged, this, [this](int index) { sensor_ = index; });
    connect(btnOk_, &QPushButton::clicked, this, &CSettingDialog::OnOK);
    connect(btnCancel_, &QPushButton::clicked, this, &QDialog::reject);
}

void CSettingDialog::Register(QWidget* w, int id)
{
    w->setObjectName(QString("ctl%1").arg(id));
    controls_.emplace_back(id, w);
}

QWidget* CSettingDialog::control(int id) const
{
    for (const auto& [cid, w] : controls_)
        if (cid == id) return w;
    return nullptr;
}

void CSettingDialog::OnInitDialog()
{
    editPath_->setText(QString::fromStdString(firmwarePath_));
    btnSelect_->setText(Q(Text(ToolText::Select, language_)));
    btnOk_->setText(Q(Text(ToolText::Ok, language_)));
    btnCancel_->setText(Q(Text(ToolText::Cancel, language_)));
    setWindowTitle(Q(Text(ToolText::Settings, language_)));
    {
        QSignalBlocker block(tab_);
        while (tab_->count() > 0) tab_->removeTab(0);
        tab_->addTab(Q(Text(ToolText::FirmwareTab, language_)));
        tab_->addTab(Q(kDeviceTab));
        tab_->setCurrentIndex(0);
    }
    ShowDeviceTab(false);

    IniFile ini = IniFile::Load(iniPath_);
    vid_ = LowerHex(ini.GetInt(kDeviceSection, kVidKey, kDialogDefaultVid)).toStdString();
    editVid_->setText(QString::fromStdString(vid_));
    pid_ = LowerHex(ini.GetInt(kDeviceSection, kPidKey, kDialogDefaultPid)).toStdString();
    editPid_->setText(QString::fromStdString(pid_));
    serial_ = ini.GetString(kDeviceSection, kSerialKey, "0001").substr(0, 99);
    editSerial_->setText(QString::fromStdString(serial_));
    autoIncrease_ = ini.GetInt(kDeviceSection, kIncreaseKey, 1) != 0 ? 1 : 0;
    checkIncrease_->setChecked(autoIncrease_ != 0);
    comboSensor_->clear();
    comboSensor_->addItems({"0", "90", "180", "270"});
    std::uint32_t sensor = ini.GetInt(kDeviceSection, kSensorKey, 0);
    sensor_ = sensor <= 3 ? static_cast<int>(sensor) : 0;
    comboSensor_->setCurrentIndex(sensor_);
    for (int k = 0; k < kSlotCount; ++k) editWin_[k]->setText(LowerHex(static_cast<std::uint64_t>(serials_[k])));
}

void CSettingDialog::ShowDeviceTab(bool device)
{
    btnSelect_->setVisible(!device);
    editPath_->setVisible(!device);
    for (int id : kDeviceTabControls)
        if (QWidget* w = control(id)) w->setVisible(device);
}

void CSettingDialog::OnTabChanged(int index)
{
    ShowDeviceTab(index == 1);
}

void CSettingDialog::OnSerialChanged()
{
    QString text = editSerial_->text();
    if (text.isEmpty() || IsHexDigit(text.back())) return;
    text.chop(1);
    editSerial_->setText(text);
    sink_.ShowMessage(kIllegalCharacter, "", MessageIcon::Information);
}

void CSettingDialog::OnWinChanged(int index)
{
    QLineEdit* edit = editWin_[static_cast<std::size_t>(index)];
    const QString text = edit->text();
    if (text.isEmpty()) return;
    for (QChar c : text) {
        if (!IsHexDigit(c)) {
            sink_.ShowMessage(kIllegalCharacter, "", MessageIcon::Information);
            break;
        }
    }
    if (IsReservedSerial(HexToWord(text.toStdString()))) {
        sink_.ShowMessage(kReservedNumber, "", MessageIcon::Information);
        edit->clear();
    }
}

void CSettingDialog::OnSelectFirmware()
{
    QString path = QFileDialog::getOpenFileName(this, QString(), QStringLiteral("*.hex"),
                                                QStringLiteral("HEX Files (*.hex)"), nullptr, QFileDialog::ReadOnly);
    if (!path.isEmpty()) SelectFirmware(path.toStdString());
}

void CSettingDialog::SelectFirmware(const std::string& path)
{
    firmwarePath_ = path;
    editPath_->setText(QString::fromStdString(path));
    // Picking a file always regenerates its image; a failure has shown its
    // message and is handed on, so the tool burns nothing of this firmware.
    ConvertResult result = ConvertFirmware(path, &sink_, language_);
    firmwarePicked_ = true;
    imageReady_ = result == ConvertResult::Converted || result == ConvertResult::AlreadyImage;
}

void CSettingDialog::OnOK()
{
    vid_ = editVid_->text().toStdString();
    pid_ = editPid_->text().toStdString();
    serial_ = editSerial_->text().toStdString();
    autoIncrease_ = checkIncrease_->isChecked() ? 1 : 0;
    accept();
}

}  // namespace zr417::updater
