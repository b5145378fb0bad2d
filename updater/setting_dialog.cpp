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

    m_tab = new QTabBar(this);
    m_tab->setGeometry(10, 8, 350, 28);
    Register(m_tab, 1018);
    m_btnSelect = new QPushButton(this);
    m_btnSelect->setGeometry(20, 60, 90, 26);
    Register(m_btnSelect, 1019);
    m_editPath = edit(1020, 120, 61, 230);
    m_editPath->setReadOnly(true);

    label(1037, "VID", 20, 52, 40);
    m_editVid = edit(1035, 60, 51, 80);
    label(1039, "H", 145, 52, 15);
    label(1038, "PID", 190, 52, 40);
    m_editPid = edit(1036, 230, 51, 80);
    label(1040, "H", 315, 52, 15);
    label(1046, "Sensor ", 20, 90, 50);
    m_comboSensor = new QComboBox(this);
    m_comboSensor->setGeometry(70, 89, 70, 24);
    Register(m_comboSensor, 1049);
    label(1045, "H", 145, 90, 15);
    label(1042, "Serial number", 190, 90, 100);
    m_checkIncrease = new QCheckBox(Q(kAutoIncrease), this);
    m_checkIncrease->setGeometry(20, 128, 150, 22);
    Register(m_checkIncrease, 1043);

    // m_editSerial holds the configured serial text; it is never shown. Of
    // the slot edits, only the first appears (as the Device tab's serial
    // field).
    m_editSerial = edit(1041, 290, 128, 60);
    m_editSerial->setMaxLength(5);
    m_editSerial->hide();
    for (int k = 0; k < kSlotCount; ++k) {
        m_editWin[k] = edit(1050 + k, 290, 89, 60);
        m_editWin[k]->setMaxLength(4);
        m_editWin[k]->hide();
    }
    m_editWin[0]->setGeometry(290, 89, 60, 24);
    label(1066, "Win1", 0, 0)->hide();
    label(1067, "H", 355, 90, 12);
    for (int k = 1; k < kSlotCount; ++k) {
        label(1066 + 2 * k, QString("Win%1").arg(k + 1), 0, 0)->hide();
        label(1067 + 2 * k, "H", 0, 0)->hide();
    }

    m_btnOk = new QPushButton(this);
    m_btnOk->setGeometry(180, 190, 85, 28);
    m_btnOk->setDefault(true);
    Register(m_btnOk, 1);
    m_btnCancel = new QPushButton(this);
    m_btnCancel->setGeometry(275, 190, 85, 28);
    Register(m_btnCancel, 2);

    connect(m_tab, &QTabBar::currentChanged, this, &CSettingDialog::OnTabChanged);
    connect(m_btnSelect, &QPushButton::clicked, this, &CSettingDialog::OnSelectFirmware);
    connect(m_editSerial, &QLineEdit::textChanged, this, &CSettingDialog::OnSerialChanged);
    for (int k = 0; k < kSlotCount; ++k)
        connect(m_editWin[k], &QLineEdit::textChanged, this, [this, k] { OnWinChanged(k); });
    connect(m_checkIncrease, &QCheckBox::clicked, this, [this] { m_nAutoIncrease = m_nAutoIncrease ? 0 : 1; });
    connect(m_comboSensor, &QComboBox::currentIndexChanged, this, [this](int index) { m_nSensor = index; });
    connect(m_btnOk, &QPushButton::clicked, this, &CSettingDialog::OnOK);
    connect(m_btnCancel, &QPushButton::clicked, this, &QDialog::reject);
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
    m_editPath->setText(QString::fromStdString(m_strFirmwarePath));
    m_btnSelect->setText(Q(Text(ToolText::Select, language_)));
    m_btnOk->setText(Q(Text(ToolText::Ok, language_)));
    m_btnCancel->setText(Q(Text(ToolText::Cancel, language_)));
    setWindowTitle(Q(Text(ToolText::Settings, language_)));
    {
        QSignalBlocker block(m_tab);
        while (m_tab->count() > 0) m_tab->removeTab(0);
        m_tab->addTab(Q(Text(ToolText::FirmwareTab, language_)));
        m_tab->addTab(Q(kDeviceTab));
        m_tab->setCurrentIndex(0);
    }
    ShowDeviceTab(false);

    IniFile ini = IniFile::Load(iniPath_);
    m_strVID = LowerHex(ini.GetInt(kDeviceSection, kVidKey, kDialogDefaultVid)).toStdString();
    m_editVid->setText(QString::fromStdString(m_strVID));
    m_strPID = LowerHex(ini.GetInt(kDeviceSection, kPidKey, kDialogDefaultPid)).toStdString();
    m_editPid->setText(QString::fromStdString(m_strPID));
    m_strSerial = ini.GetString(kDeviceSection, kSerialKey, "0001").substr(0, 99);
    m_editSerial->setText(QString::fromStdString(m_strSerial));
    m_nAutoIncrease = ini.GetInt(kDeviceSection, kIncreaseKey, 1) != 0 ? 1 : 0;
    m_checkIncrease->setChecked(m_nAutoIncrease != 0);
    m_comboSensor->clear();
    m_comboSensor->addItems({"0", "90", "180", "270"});
    std::uint32_t sensor = ini.GetInt(kDeviceSection, kSensorKey, 0);
    m_nSensor = sensor <= 3 ? static_cast<int>(sensor) : 0;
    m_comboSensor->setCurrentIndex(m_nSensor);
    for (int k = 0; k < kSlotCount; ++k) m_editWin[k]->setText(LowerHex(static_cast<std::uint64_t>(serials_[k])));
}

void CSettingDialog::ShowDeviceTab(bool device)
{
    m_btnSelect->setVisible(!device);
    m_editPath->setVisible(!device);
    for (int id : kDeviceTabControls)
        if (QWidget* w = control(id)) w->setVisible(device);
}

void CSettingDialog::OnTabChanged(int index)
{
    ShowDeviceTab(index == 1);
}

void CSettingDialog::OnSerialChanged()
{
    QString text = m_editSerial->text();
    if (text.isEmpty() || IsHexDigit(text.back())) return;
    text.chop(1);
    m_editSerial->setText(text);
    sink_.ShowMessage(kIllegalCharacter, "", MessageIcon::Information);
}

void CSettingDialog::OnWinChanged(int index)
{
    QLineEdit* edit = m_editWin[static_cast<std::size_t>(index)];
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
    m_strFirmwarePath = path;
    m_editPath->setText(QString::fromStdString(path));
    // Picking a file always regenerates its image; a failure has shown its
    // message and is handed on, so the tool burns nothing of this firmware.
    ConvertResult result = ConvertFirmware(path, &sink_, language_);
    m_bFirmwarePicked = true;
    m_bImageReady = result == ConvertResult::Converted || result == ConvertResult::AlreadyImage;
}

void CSettingDialog::OnOK()
{
    m_strVID = m_editVid->text().toStdString();
    m_strPID = m_editPid->text().toStdString();
    m_strSerial = m_editSerial->text().toStdString();
    m_nAutoIncrease = m_checkIncrease->isChecked() ? 1 : 0;
    accept();
}

}  // namespace zr417::updater
