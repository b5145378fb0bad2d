#include "updater/tool_dlg.h"

#include "platform/fonts.h"
#include "platform/translations.h"
#include "updater/ini_file.h"
#include "updater/setting_dialog.h"
#include "updater/tool_texts.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSocketNotifier>

namespace zr417::updater {

namespace {

QString Q(const char* text)
{
    return QString::fromUtf8(text);
}

QString Q(const std::string& text)
{
    return QString::fromStdString(text);
}

QIcon ToolIcon()
{
    // Drawn for screens at 100 % and 200 %, so the title bar shows no blown-up icon.
    QIcon icon;
    for (int scale : {1, 2}) {
        QPixmap pixmap(32 * scale, 32 * scale);
        pixmap.setDevicePixelRatio(scale);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.setBrush(QColor(40, 90, 160));
        p.setPen(Qt::NoPen);
        p.drawRoundedRect(2, 2, 28, 28, 5, 5);
        p.setBrush(Qt::white);
        p.drawPolygon(QPolygon({QPoint(16, 6), QPoint(26, 17), QPoint(20, 17), QPoint(20, 26), QPoint(12, 26),
                                QPoint(12, 17), QPoint(6, 17)}));
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

}  // namespace

int SystemToolLanguage()
{
    return ToolLanguageFromLocaleName(QLocale::system().name().toStdString());
}

CNorvane_MP_TOOLDlg::CNorvane_MP_TOOLDlg(Options options, QWidget* parent)
    : QDialog(parent), options_(std::move(options))
{
    tool_ = std::make_unique<UpdateTool>(*options_.bus, *this);
    if (options_.wait) tool_->SetWaitFunction(options_.wait);
    CreateControls();
    OnInitDialog();
}

CNorvane_MP_TOOLDlg::~CNorvane_MP_TOOLDlg()
{
    // Workers first: they write into the controls.
    tool_.reset();
}

void CNorvane_MP_TOOLDlg::Register(QWidget* w, int id)
{
    w->setObjectName(QString("ctl%1").arg(id));
    controls_.emplace_back(id, w);
}

QWidget* CNorvane_MP_TOOLDlg::control(int id) const
{
    for (const auto& [cid, w] : controls_)
        if (cid == id) return w;
    return nullptr;
}

void CNorvane_MP_TOOLDlg::CreateControls()
{
    // 410 x 241 dialog units of a 9-point font.
    setFixedSize(615, 362);
    auto group = [this](int id, int x, int y, int w, int h) {
        auto* g = new QGroupBox(this);
        g->setGeometry(x, y, w, h);
        if (id) Register(g, id);
        return g;
    };
    auto label = [this](int id, int x, int y, int w) {
        auto* l = new QLabel(this);
        l->setGeometry(x, y, w, 22);
        Register(l, id);
        return l;
    };

    groupModel_ = group(1021, 12, 8, 591, 62);
    staticModel_ = label(1017, 26, 32, 560);

    groupSlots_ = group(0, 12, 80, 190, 200);
    for (int k = 0; k < kSlotCount; ++k) {
        slots_[k] = new CMouseStatic(this);
        slots_[k]->move(32, 110);  // LayOutSlots places and shows them
        Register(slots_[k], 1000 + k);
    }

    btnUpdate_ = new QPushButton(this);
    btnUpdate_->setGeometry(470, 228, 120, 34);
    btnUpdate_->setDefault(true);
    Register(btnUpdate_, 1);
    btnExit_ = new QPushButton(this);
    btnExit_->setGeometry(470, 286, 120, 34);
    Register(btnExit_, 2);
    btnSettings_ = new QPushButton(this);
    btnSettings_->setGeometry(330, 228, 120, 34);
    Register(btnSettings_, 1016);
    btnRefresh_ = new QPushButton(this);
    btnRefresh_->setGeometry(330, 286, 120, 34);
    Register(btnRefresh_, 1044);
    btnSettings_->hide();
    btnSettings_->setEnabled(false);
    btnRefresh_->hide();
    btnRefresh_->setEnabled(false);

    // Hidden: version, language and counter frames with their contents.
    QWidget* hidden[] = {
        group(1022, 215, 80, 170, 100), label(1028, 225, 100, 150),     label(1029, 225, 122, 150),
        label(1030, 225, 144, 150),     group(1023, 400, 80, 200, 110), group(1024, 215, 190, 170, 80),
        label(1031, 225, 210, 80),      label(1032, 225, 236, 80),      nullptr,
    };
    staticSuccess_ = label(1033, 310, 210, 60);
    staticFail_ = label(1034, 310, 236, 60);
    staticSuccess_->setText(QStringLiteral("0"));  // shown with several devices, before any burn
    staticFail_->setText(QStringLiteral("0"));
    const int radioIds[3] = {1027, 1025, 1026};  // English, Simplified, Traditional
    for (int lang = 0; lang < 3; ++lang) {
        radios_[lang] = new QRadioButton(this);
        radios_[lang]->setGeometry(410, 100 + lang * 26, 180, 22);
        Register(radios_[lang], radioIds[lang]);
        radios_[lang]->hide();
        connect(radios_[lang], &QRadioButton::clicked, this, [this, lang] { OnLanguageRadio(lang); });
    }
    for (QWidget* w : hidden)
        if (w) w->hide();
    LayOutSlots();
    control(1028)->setProperty("text", "Norvane_MP_TOOL");
    control(1029)->setProperty("text", "V1.0");

    connect(btnUpdate_, &QPushButton::clicked, this, &CNorvane_MP_TOOLDlg::OnUpdate);
    connect(btnExit_, &QPushButton::clicked, this, &QDialog::reject);
    connect(btnSettings_, &QPushButton::clicked, this, &CNorvane_MP_TOOLDlg::OnSettings);
    connect(btnRefresh_, &QPushButton::clicked, this, &CNorvane_MP_TOOLDlg::OnRefresh);
}

void CNorvane_MP_TOOLDlg::OnInitDialog()
{
    setWindowIcon(ToolIcon());

    // Plug events of the bus, on this thread.
    if (int fd = options_.bus->eventFd(); fd >= 0) {
        notifier_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, &CNorvane_MP_TOOLDlg::OnDeviceEvents);
    }

    control(1030)->setProperty("text", QString("Build in ") + ZR417_BUILD_DATE);

    int language = options_.language ? *options_.language : SystemToolLanguage();
    tool_->SetLanguage(language);
    radios_[static_cast<std::size_t>(std::clamp(language, 0, 2))]->setChecked(true);

    // Tahoma of a 16-pixel cell, smaller still if a slot text would not fit.
    QFont font = CMouseStatic::FitSlotTexts(WithCellHeight(ProgramFont({QStringLiteral("Tahoma")}), 16));
    setFont(font);
    for (const auto& [id, w] : controls_) w->setFont(font);

    for (auto* s : slots_) s->SetLine1(Text(ToolText::NoDevice, language));

    MessageSink& sink = options_.messages ? *options_.messages : *this;
    IniFile ini = IniFile::Load(iniPath());
    tool_->LoadSettings(ini, options_.toolDir, sink);
    modelText_ = tool_->settings().modelText;

    tool_->Enumerate(true);
    tool_->Enumerate(true);
    ApplyLanguage();
    tool_->AssignNewDevices();
    tool_->SetAutoIncrease(true);
    LayOutSlots();
}

int CNorvane_MP_TOOLDlg::SlotsInView() const
{
    // Up to the last slot that holds a device or still shows how its burn
    // ended (a device removed during its burn leaves its failure behind).
    int count = 1;
    for (int k = 0; k < kSlotCount; ++k)
        if (tool_->slotInUse(k) || slots_[static_cast<std::size_t>(k)]->colour() != kWhite) count = k + 1;
    return count;
}

void CNorvane_MP_TOOLDlg::LayOutSlots()
{
    // With one device the window is the dialog as laid out: slot 1, Update
    // and Exit. With more, every slot up to the last one in use shows, with
    // the success and fail counts, so no failure goes unseen.
    const int count = SlotsInView();
    const bool several = count > 1;
    const int columns = count <= 6 ? count : count <= 8 ? 4 : 6;
    const int rows = (count + columns - 1) / columns;
    const int frameWidth = several ? columns * kSlotPitch + 30 : 190;
    const int frameHeight = rows * kSlotPitch + 40;
    const int width = std::max(615, 12 + frameWidth + 16 + 170 + 12);
    const int height = std::max(362, 80 + frameHeight + 20);

    groupModel_->setGeometry(12, 8, width - 24, 62);
    staticModel_->setGeometry(26, 32, width - 55, 22);
    groupSlots_->setGeometry(12, 80, frameWidth, frameHeight);
    for (int k = 0; k < kSlotCount; ++k) {
        slots_[k]->move(32 + (k % columns) * kSlotPitch, 110 + (k / columns) * kSlotPitch);
        slots_[k]->setVisible(k < count);
    }

    const int right = width - 12 - 170;  // the column of counts and buttons
    if (several) {
        control(1024)->setGeometry(right, 80, 170, 80);
        control(1031)->setGeometry(right + 12, 100, 96, 22);
        control(1032)->setGeometry(right + 12, 128, 96, 22);
        staticSuccess_->setGeometry(right + 110, 100, 50, 22);
        staticFail_->setGeometry(right + 110, 128, 50, 22);
        const int bottom = 80 + frameHeight;
        btnUpdate_->setGeometry(right + 25, bottom - 92, 120, 34);
        btnExit_->setGeometry(right + 25, bottom - 34, 120, 34);
    } else {
        btnUpdate_->setGeometry(470, 228, 120, 34);
        btnExit_->setGeometry(470, 286, 120, 34);
    }
    for (int id : {1024, 1031, 1032, 1033, 1034}) control(id)->setVisible(several);
    setFixedSize(width, height);
}

void CNorvane_MP_TOOLDlg::ApplyLanguage()
{
    const int lang = tool_->Language();
    setWindowTitle(Q(Text(ToolText::WindowTitle, lang)));
    const std::pair<int, ToolText> texts[] = {
        {1027, ToolText::English},
        {1026, ToolText::TraditionalChinese},
        {1025, ToolText::SimplifiedChinese},
        {1023, ToolText::LanguageSetting},
        {1022, ToolText::Version},
        {1024, ToolText::BurnNumber},
        {1031, ToolText::Success},
        {1032, ToolText::Fail},
        {1021, ToolText::ProductModel},
        {1016, ToolText::Settings},
        {1, ToolText::Update},
        {2, ToolText::Exit},
        {1044, ToolText::Refresh},
    };
    for (auto [id, row] : texts) {
        QWidget* w = control(id);
        if (auto* g = qobject_cast<QGroupBox*>(w))
            g->setTitle(Q(Text(row, lang)));
        else
            w->setProperty("text", Q(Text(row, lang)));
    }
    staticModel_->setText(Q(modelText_));
}

void CNorvane_MP_TOOLDlg::OnLanguageRadio(int language)
{
    tool_->SetLanguage(language);
    UseQtTranslations(UpdateToolLocale(language));
    ApplyLanguage();
}

void CNorvane_MP_TOOLDlg::OnUpdate()
{
    tool_->OnUpdate();
}

void CNorvane_MP_TOOLDlg::OnRefresh()
{
    tool_->OnRefresh();
    LayOutSlots();
}

void CNorvane_MP_TOOLDlg::OnSettings()
{
    std::array<std::int64_t, kSlotCount> serials{};
    for (int k = 0; k < kSlotCount; ++k) serials[k] = tool_->serialEntry(k);
    MessageSink& sink = options_.messages ? *options_.messages : *this;
    CSettingDialog dlg(iniPath(), tool_->Language(), serials, sink, this);
    dlg.SetFirmwarePath(tool_->firmwarePath());
    dlg.OnInitDialog();
    if (dlg.exec() != QDialog::Accepted) return;

    const auto ini = iniPath();
    const std::string path = dlg.firmwarePath();
    staticModel_->setText(Q(std::string(Text(ToolText::ModelPrefix, tool_->Language())) + path));
    IniFile::WriteString(ini, kFirmwareSection, kPathKey, path);
    std::uint16_t vid = HexToWord(dlg.vid());
    IniFile::WriteString(ini, kDeviceSection, kVidKey, std::to_string(vid));
    std::uint16_t pid = HexToWord(dlg.pid());
    IniFile::WriteString(ini, kDeviceSection, kPidKey, std::to_string(pid));
    IniFile::WriteString(ini, kDeviceSection, kSerialKey, dlg.serial());
    IniFile::WriteString(ini, kDeviceSection, kIncreaseKey, dlg.autoIncrease() ? "1" : "0");
    IniFile::WriteString(ini, kDeviceSection, kSensorKey, std::to_string(dlg.sensor()));
    tool_->ApplySettings(path, vid, pid, dlg.autoIncrease() != 0, dlg.sensor());
    if (dlg.firmwarePicked()) tool_->SetImageReady(dlg.imageReady());
}

void CNorvane_MP_TOOLDlg::OnDeviceEvents()
{
    auto events = options_.bus->drainEvents();
    // Consecutive events of one kind (the collections of one device) are
    // handled once: each handler looks at the whole bus anyway.
    for (std::size_t i = 0; i < events.size(); ++i) {
        if (i > 0 && events[i].kind == events[i - 1].kind) continue;
        if (events[i].kind == hid::PlugEvent::Kind::Arrival)
            tool_->OnDeviceArrival();
        else
            tool_->OnDeviceRemoval();
        tool_->AfterDeviceChange();
    }
    LayOutSlots();
}

void CNorvane_MP_TOOLDlg::OnBurnIdle()
{
    tool_->OnBurnIdle();
    emit burnIdle();
}

void CNorvane_MP_TOOLDlg::SetButtonStates(bool settings, bool update, bool exit, bool refresh)
{
    btnSettings_->setEnabled(settings);
    btnUpdate_->setEnabled(update);
    btnExit_->setEnabled(exit);
    btnRefresh_->setEnabled(refresh);
}

void CNorvane_MP_TOOLDlg::SetCounterTexts(int success, int fail)
{
    QMetaObject::invokeMethod(
        this,
        [this, success, fail] {
            staticSuccess_->setText(QString::number(success));
            staticFail_->setText(QString::number(fail));
            LayOutSlots();  // a burn has ended: its slot's outcome must be in view
        },
        Qt::QueuedConnection);
}

void CNorvane_MP_TOOLDlg::PostBurnIdle(bool)
{
    QMetaObject::invokeMethod(
        this, [this] { OnBurnIdle(); }, Qt::QueuedConnection);
}

void CNorvane_MP_TOOLDlg::ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon)
{
    QMessageBox::Icon qicon = icon == MessageIcon::Error     ? QMessageBox::Critical
                              : icon == MessageIcon::Warning ? QMessageBox::Warning
                                                             : QMessageBox::Information;
    QMessageBox box(qicon, Q(caption), Q(text), QMessageBox::Ok, isVisible() ? this : nullptr);
    box.exec();
}

void CNorvane_MP_TOOLDlg::reject()
{
    if (tool_->AnyBurning()) return;
    QDialog::reject();
}

void CNorvane_MP_TOOLDlg::contextMenuEvent(QContextMenuEvent* event)
{
    // Stands in for the system menu's About item.
    QMenu menu(this);
    menu.addAction(Q(kAboutMenuItem), this, &CNorvane_MP_TOOLDlg::OnAbout);
    menu.exec(event->globalPos());
}

void CNorvane_MP_TOOLDlg::OnAbout()
{
    QDialog about(this);
    about.setWindowTitle(QStringLiteral("About Norvane_MP_TOOL"));
    about.setFixedSize(320, 130);
    auto* icon = new QLabel(&about);
    icon->setPixmap(ToolIcon().pixmap(32, 32));
    icon->setGeometry(16, 20, 32, 32);
    auto* name = new QLabel(QStringLiteral("ZR417 RGB Gaming Keyboard_Update, Version 1.0"), &about);
    name->setGeometry(60, 18, 250, 20);
    auto* rights = new QLabel(QStringLiteral("Copyright (C) ZR417 developers"), &about);
    rights->setGeometry(60, 42, 250, 20);
    auto* ok = new QPushButton(QStringLiteral("OK"), &about);
    ok->setGeometry(230, 88, 75, 28);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, &about, &QDialog::accept);
    about.exec();
}

}  // namespace zr417::updater
