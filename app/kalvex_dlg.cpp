#include "app/kalvex_dlg.h"

#include "app/about_dlg.h"
#include "app/auto_profiles_dlg.h"
#include "app/auto_profiles_texts.h"
#include "app/autostart_menu.h"
#include "app/splash.h"
#include "app/ui_call.h"
#include "config/keys.h"
#include "controls/bit_slider.h"
#include "controls/skin_names.h"
#include "device/input_listener.h"
#include "platform/settings.h"
#include "platform/trace.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QShortcut>
#include <QSocketNotifier>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <climits>

namespace zr417 {

namespace {

QString qs(std::string_view s)
{
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

QString qpath(const std::filesystem::path& p)
{
    return QString::fromStdString(p.string());
}

// How often the progress of a conversation is redrawn.
constexpr int kBusyRepaintMs = 40;

// A conversation's result kept for later on the heap: it holds a 213 KB image,
// and each copy made on a stack keeps those pages resident for good.
std::shared_ptr<const KeyboardSession::Result> Kept(const KeyboardSession::Result& r)
{
    return std::make_shared<const KeyboardSession::Result>(r);
}

}  // namespace

CKalvexDlg::CKalvexDlg(MainWindowOptions options, QWidget* parent)
    : QWidget(parent, Qt::FramelessWindowHint | Qt::Window), options_(std::move(options))
{
    dialogs_ = options_.dialogs ? options_.dialogs : &ProgramSubDialogs();
    if (options_.desktop) {
        desktop_ = options_.desktop;
    } else {
        ownDesktop_ = std::make_unique<DesktopActions>();
        desktop_ = ownDesktop_.get();
    }
    setWindowTitle(qs(texts::kTitle.english));
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    // The paint covers the whole client area; nothing to erase first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
}

CKalvexDlg::~CKalvexDlg()
{
    // Threads waiting for this window are released first, then stopped:
    // the listener (through the link) and the read-out worker.
    if (uiCall_) uiCall_->cancel();
    if (tray_) tray_->hide();
    if (link_) link_->Shutdown();
    session_.reset();  // waits for the start-up read-out
}

int CKalvexDlg::model() const
{
    return link_ ? link_->g_nModel() : kModelThird;
}

void CKalvexDlg::OnInitDialog()
{
    // The About item of the system menu: a context menu of the title area
    // and F12.
    auto* about = new QShortcut(QKeySequence(Qt::Key_F12), this);
    connect(about, &QShortcut::activated, this, &CKalvexDlg::ShowAbout);

    // Language.
    g_nLanguage = options_.language ? options_.language : LanguageFromSetting(ReadLanguageSetting());
    if (g_nLanguage != kLanguageChinese) g_nLanguage = kLanguageEnglish;

    // Title; pop-ups and per-key mode off.
    setWindowTitle(qs(texts::kTitle.english));
    panel_ = PanelState{};

    // Folders; the window takes the size of main.png.
    // The program passes its folders; without them the program folder holds
    // everything (its saves fail and say so when it cannot be written).
    paths_ = options_.paths ? *options_.paths
                            : AppPaths::ForExecutableDir(ExecutableDir()).value_or(AppPaths::InFolder(ExecutableDir()));
    m_szSkinDir = paths_.skinDir(g_nLanguage);
    skins_ = SkinFolder::ForLanguage(paths_, g_nLanguage);
    pictures_ = {};
    setWindowIcon(LoadIconResource(skins::resource::kIconMain));
    // A fixed size: a compositor that sizes windows itself (tiling, kiosk)
    // gets no other size to offer the skinned window. Taken from the file's
    // header: at 200 % the plain picture is never drawn.
    const QSize background = skins_.Size(skins::main_window::kBackground);
    setFixedSize(background.isValid() ? background : QSize(1000, 640));

    // Changed-key marks; the device link and the plug notifications (taken
    // up once the initialisation is through).
    keyState_.ClearChangedKeys();
    store_ = std::make_unique<KeymapStore>(paths_.keymapFile());
    // keymap.bin is written off this thread: a flush to a busy disk would
    // hold up the window after every conversation.
    writer_ = std::make_shared<FileWriter>();
    store_->WriteThrough(writer_);
    macros_ = std::make_unique<MacroStore>(paths_.macroFile());
    uiCall_ = std::make_unique<UiThreadCall>(this);
    DeviceLink::Events events;
    events.arrived = [this] { OnArrived(); };
    events.keyCode = [this](std::uint8_t code) { uiCall_->run([this, code] { OnKeyEvent(code); }); };
    events.notConnected = [this] { uiCall_->run([this] { OnDeviceVanished(); }); };
    link_ = std::make_unique<DeviceLink>(*options_.bus, std::move(events), options_.pause);
    session_ = std::make_unique<KeyboardSession>(options_.pause);
    busyTimer_ = new QTimer(this);
    busyTimer_->setInterval(kBusyRepaintMs);
    connect(busyTimer_, &QTimer::timeout, this, [this] { update(kBusyArea); });
    if (int fd = options_.bus->eventFd(); fd >= 0) {
        plugNotifier_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        plugNotifier_->setEnabled(false);
        connect(plugNotifier_, &QSocketNotifier::activated, this, [this] { OnPlugEvents(); });
    }

    // Sliders; the splash shows before kSliderHidden is hidden.
    CreateSliders();
    if (options_.splash) {
        CSplashScreen splash(paths_.exeDir, g_nLanguage, options_.splashTick);
        splash.exec();
    }
    sliders_[kSliderHidden]->hide();

    // Macro file (created when missing).
    macros_->LoadMacroFile();

    // The key tables are constant data; device start-up.
    bool show = link_->OpenAtStartup();
    session_->SetHandles(link_->handles());
    hiddenForNoKeyboard_ = !show;

    ReadVersionFile();
    CreateTrayIcon();

    // Configuration, then the read-out worker.
    panel_ = PanelState{};
    store_->Startup();
    SyncClean();
    // The refresh, once what the keyboard holds is in the image.
    if (link_->g_hCommandDev())
        Converse(Sequence::StartupReadout, [this](const KeyboardSession::Result& r) {
            r.MergeInto(store_->current());
            NoteReadout(r);
            Refresh(0);
        });

    UpdateSliderVisibility();
    if (plugNotifier_) plugNotifier_->setEnabled(true);
    initialised_ = true;
}

int CKalvexDlg::DoModal()
{
    OnInitDialog();
    if (!trayAvailable_ && options_.trayWait.count() > 0 && !options_.trayAvailable) WaitForTray();
    // A start at login without a keyboard has nothing to show, even where no
    // tray holds it: plugging one in or starting the program again shows it.
    if (options_.startHidden && hiddenForNoKeyboard_)
        hide();
    else if (hiddenForNoKeyboard_ || options_.startHidden)
        HideWindow();
    else
        show();
    if (ended_) return 0;
    QEventLoop loop;
    loop_ = &loop;
    connect(qApp, &QApplication::aboutToQuit, &loop, &QEventLoop::quit);
    int result = loop.exec();
    loop_ = nullptr;
    // A quit during a conversation: it ends, and what follows it happens,
    // before the process does.
    while (keyboardBusy()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return result;
}

void CKalvexDlg::EndDialog()
{
    ended_ = true;
    hide();
    if (tray_) tray_->hide();
    if (loop_) loop_->quit();
}

void CKalvexDlg::restoreAndActivate()
{
    Trace("Main window activated by a second start\n");
    showNormal();
    raise();
    activateWindow();
}

// Hiding must not strand the program on a desktop without a tray: there the
// window goes to the task bar (minimised) instead, once the tray has had its
// time to come up.
void CKalvexDlg::HideWindow()
{
    if (trayAvailable_ || awaitingTray_)
        hide();
    else
        showMinimized();
}

void CKalvexDlg::ShowFromTray()
{
    hiddenForNoKeyboard_ = false;
    showNormal();
    raise();
    activateWindow();
}

void CKalvexDlg::redraw()
{
    update();
}

// ---------------------------------------------------------------------------
// Sliders

void CKalvexDlg::CreateSliders()
{
    for (const auto& slider : g_mainSliders) {
        auto* s = new CBitSlider(this);
        s->move(slider.x, slider.y);
        s->CreateThumb();
        s->LoadStrips();
        s->setRange(0, slider.maximum);
        s->setPageStep(1);
        s->setSingleStep(1);
        s->setValue(1);
        s->setSliderId(slider.id);
        s->setFocusPolicy(Qt::NoFocus);
        // The slider draws nothing; the window paints its skin when asked.
        connect(s, &CBitSlider::repaintRequested, this,
                [this](int id, int thumbX, int) { OnSliderRepaint(id, thumbX); });
        connect(s, &QAbstractSlider::valueChanged, this, [this, id = slider.id] { OnSliderRepaint(id, INT_MIN); });
        sliders_[slider.id] = s;
    }
}

// The slider-moved signal: redraw only when the thumb moved since it was last painted
// (the window's own repaint makes the slider ask again).
void CKalvexDlg::OnSliderRepaint(int id, int thumbX)
{
    auto [it, inserted] = lastThumbX_.try_emplace(id, thumbX);
    if (!inserted && it->second == thumbX) return;
    it->second = thumbX;
    redraw();
}

CBitSlider* CKalvexDlg::slider(int id) const
{
    auto it = sliders_.find(id);
    return it == sliders_.end() ? nullptr : it->second;
}

void CKalvexDlg::SlidersFromImage()
{
    const ConfigImage& image = store_->current();
    for (int id : {kSliderBrightness, kSliderSpeed, kSliderZoneBrightness, kSliderZoneSpeed})
        sliders_[id]->setValue(image.at(SliderImageOffset(id)));
}

void CKalvexDlg::UpdateSliderVisibility()
{
    if (!store_) return;
    PanelLayout layout = ComputePanelLayout(store_->current(), panel_, ModelOf(model()));
    for (auto [id, s] : sliders_) s->setVisible(layout.sliderVisible(id));
}

// ---------------------------------------------------------------------------
// Tray

void CKalvexDlg::CreateTrayIcon()
{
    trayAvailable_ = options_.trayAvailable ? *options_.trayAvailable : QSystemTrayIcon::isSystemTrayAvailable();
    tray_ = new QSystemTrayIcon(this);
    tray_->setIcon(LoadIconResource(skins::resource::kIconMain));
    setTrayStatus(trayStatus_);
    trayMenu_ = std::make_unique<QMenu>();
    if (autoProfiles_) {
        QAction* automatic = trayMenu_->addAction(qs(auto_text::kMenuItem.in(g_nLanguage)));
        connect(automatic, &QAction::triggered, this,
                [this] { ShowAutoProfilesDlg(*autoProfiles_, g_nLanguage, nullptr, false); });
    }
    AddAutostartItem(*trayMenu_, g_nLanguage);
    if (trayItems_) trayItems_(*trayMenu_);
    trayMenu_->addSeparator();
    QAction* exit = trayMenu_->addAction(qs(texts::kExit.in(g_nLanguage)));
    // The exit item ends the program; no file is written.
    connect(exit, &QAction::triggered, this, [this] { CloseWhenIdle(false); });
    tray_->setContextMenu(trayMenu_.get());
    connect(tray_, &QSystemTrayIcon::activated, this, &CKalvexDlg::OnTrayActivated);
    if (trayAvailable_) tray_->show();
}

// Looked for now and then while the program goes on (it answers requests
// meanwhile).
void CKalvexDlg::WaitForTray()
{
    awaitingTray_ = true;
    auto* poll = new QTimer(this);
    poll->setInterval(250);
    QElapsedTimer waited;
    waited.start();
    connect(poll, &QTimer::timeout, this, [this, poll, waited] {
        const bool up = QSystemTrayIcon::isSystemTrayAvailable();
        if (!up && waited.elapsed() < options_.trayWait.count()) return;
        poll->deleteLater();
        awaitingTray_ = false;
        if (up) {
            trayAvailable_ = true;
            tray_->show();
        } else if (!ended_ && !hiddenForNoKeyboard_ && !isVisible()) {
            HideWindow();  // to the task bar
        }
    });
    poll->start();
}

void CKalvexDlg::setTrayStatus(const QString& status)
{
    trayStatus_ = status;
    if (tray_)
        tray_->setToolTip(qs(texts::kTitle.english) + (status.isEmpty() ? QString() : QStringLiteral("\n") + status));
}

void CKalvexDlg::OnTrayActivated(QSystemTrayIcon::ActivationReason reason)
{
    if (reason != QSystemTrayIcon::DoubleClick) return;
    // Long enough to read (Windows, too, keeps such a balloon up for several
    // seconds whatever time-out it is given).
    constexpr int kBalloonMs = 8000;
    if (link_->g_hCommandDev())
        ShowFromTray();
    else
        tray_->showMessage(qs(texts::kWarning.in(g_nLanguage)), qs(texts::kNoKeyboard.in(g_nLanguage)),
                           QSystemTrayIcon::Information, kBalloonMs);
}

// ---------------------------------------------------------------------------
// Device events

void CKalvexDlg::OnPlugEvents()
{
    auto events = options_.bus->drainEvents();
    plugEvents_.insert(plugEvents_.end(), events.begin(), events.end());
    if (arrivalWaiting_) return;  // handled with the batch that waits
    const bool arrival = std::any_of(plugEvents_.begin(), plugEvents_.end(),
                                     [](const hid::PlugEvent& e) { return e.kind == hid::PlugEvent::Kind::Arrival; });
    if (!arrival) {
        HandlePlugEvents();
        return;
    }
    // A keyboard that arrives gets a moment to settle before it is opened:
    // on a timer, so the window goes on painting meanwhile.
    arrivalWaiting_ = true;
    QTimer::singleShot(DeviceLink::kArrivalWait, this, [this] {
        arrivalWaiting_ = false;
        HandlePlugEvents();
    });
}

void CKalvexDlg::HandlePlugEvents()
{
    bool hadKeyboard = link_->g_hCommandDev() != nullptr;
    link_->OnPlugEvents(std::exchange(plugEvents_, {}), /*arrivalWaited=*/true);
    session_->SetHandles(link_->handles());
    // The keyboard itself went away: hide, whether or not the listener got
    // to report it first.
    if (hadKeyboard && !link_->g_hCommandDev()) OnDeviceVanished();
}

void CKalvexDlg::Converse(Sequence sequence, std::function<void(const KeyboardSession::Result&)> then)
{
    Converse(sequence, store_->current(), std::move(then));
}

void CKalvexDlg::Converse(Sequence sequence, const ConfigImage& image,
                          std::function<void(const KeyboardSession::Result&)> then)
{
    if (conversations_++ == 0) ShowBusy(true);
    session_->Run(
        sequence, image,
        [post = uiCall_->poster(), this, then = std::move(then)](KeyboardSession::Result&& result) mutable {
            // The window hears back on its own thread; once it is
            // gone (the poster cancelled) nothing runs.
            post([this, then = std::move(then), result = std::make_shared<KeyboardSession::Result>(std::move(result))] {
                OnConversationEnded(*result, then);
            });
        });
}

void CKalvexDlg::OnConversationEnded(const KeyboardSession::Result& result,
                                     const std::function<void(const KeyboardSession::Result&)>& then)
{
    keyboardVersion_ = {result.fwMajor, result.fwMinor};
    // Not busy any more while what follows runs: a question it asks is no
    // conversation with the keyboard.
    if (--conversations_ == 0) ShowBusy(false);
    if (then) then(result);
    // What waited for the keyboard, in order, until one of them talks to it again.
    while (!keyboardBusy() && !whenIdle_.empty()) {
        auto work = std::move(whenIdle_.front());
        whenIdle_.pop_front();
        work();
    }
}

void CKalvexDlg::WhenIdle(std::function<void()> work)
{
    if (keyboardBusy())
        whenIdle_.push_back(std::move(work));
    else
        work();
}

void CKalvexDlg::ShowBusy(bool busy)
{
    if (busy) {
        // Qt 6.4's Wayland client frees an animated cursor's frame callback
        // from inside that callback, and the theme's wait cursor is animated:
        // a few frames into a Save the program could crash. There the wait
        // cursor is a still picture.
        if (QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
            setCursor(StillWaitCursor());
        else
            setCursor(Qt::WaitCursor);
        busyTimer_->start();
    } else {
        unsetCursor();
        busyTimer_->stop();
    }
    // The sliders go into the image on Save and come from it after a read-out.
    for (auto [id, s] : sliders_) s->setEnabled(!busy);
    redraw();
}

void CKalvexDlg::CloseWhenIdle(bool saveSavedImage)
{
    auto close = [this, saveSavedImage] {
        if (saveSavedImage) store_->SaveSavedImage();
        EndDialog();
    };
    if (!keyboardBusy()) {
        close();
        return;
    }
    hide();
    if (tray_) tray_->hide();
    WhenIdle(close);
}

void CKalvexDlg::OnArrived()
{
    session_->SetHandles(link_->handles());
    Converse(Sequence::ArrivalReadout, [this](const KeyboardSession::Result& r) {
        r.MergeInto(store_->current());
        NoteReadout(r);
        SlidersFromImage();
        ReadVersionFile();
        Refresh(0);
        // A window that was hidden for want of a keyboard comes to life.
        if (hiddenForNoKeyboard_ && !ended_) ShowFromTray();
    });
}

void CKalvexDlg::SyncClean()
{
    if (clean_ && cleanCommit_ == store_->commitCount()) return;
    clean_ = std::make_unique<ConfigImage>(store_->saved());
    cleanCommit_ = store_->commitCount();
}

void CKalvexDlg::NoteReadout(const KeyboardSession::Result& readout)
{
    SyncClean();
    readout.MergeInto(*clean_);
}

bool CKalvexDlg::hasUnsavedEdits()
{
    if (!store_) return false;
    // A slider goes into the image on Save.
    for (int id : {kSliderBrightness, kSliderSpeed, kSliderZoneBrightness, kSliderZoneSpeed}) {
        const CBitSlider* s = sliders_[id];
        if (s->value() != std::clamp<int>(store_->current().at(SliderImageOffset(id)), s->minimum(), s->maximum()))
            return true;
    }
    SyncClean();
    return store_->current().settings != clean_->settings || store_->current().keyTable != clean_->keyTable;
}

AutoProfileWindow::Wait CKalvexDlg::switchMustWait()
{
    using Wait = AutoProfileWindow::Wait;
    // A conversation under way (the start-up read-out included) is about
    // to change the image.
    if (!initialised_ || ended_ || keyboardBusy()) return Wait::Busy;
    if (QApplication::activeModalWidget()) return Wait::Dialog;
    if (!link_->g_hCommandDev()) return Wait::NoKeyboard;
    if (hasUnsavedEdits()) return Wait::Edits;
    return Wait::None;
}

void CKalvexDlg::CheckKeyboardAfterResume()
{
    if (!initialised_ || ended_) return;
    // After what the keyboard is busy with now; the window's own
    // conversations keep their order.
    WhenIdle([this] {
        if (ended_) return;
        // What the keyboard held before the suspend, as far as the window
        // knows: what it was last given and what it was found holding since
        // (the file alone may be older than the keyboard).
        SyncClean();
        auto known = std::make_shared<const ConfigImage>(*clean_);
        // Handles that died over the suspend: the keyboard is opened again
        // as when it is plugged in (its read-out then lands in the window).
        bool reopened = false;
        if (link_->g_hCommandDev() && !link_->connected()) {
            Trace("The keyboard's handles did not survive the suspend; opening it again\n");
            link_->OnDeviceRemoval();
            link_->OnDeviceArrival();
            reopened = true;
        }
        session_->SetHandles(link_->handles());
        if (!link_->g_hCommandDev()) return;
        // What the keyboard holds now; the window keeps its own changes, so
        // nothing of this reaches the working image.
        Converse(Sequence::ReadEverything, *known, [this, known, reopened](const KeyboardSession::Result& readBack) {
            if (readBack.failures > 0) {
                Trace("After the suspend the keyboard did not answer every read; nothing sent\n");
                return;
            }
            // What it held goes out again where it differs.
            Converse(Sequence::Hold, *known, [this, known, reopened](const KeyboardSession::Result& r) {
                Trace(r.sent == 0 ? "After the suspend the keyboard holds what it was given; nothing sent\n"
                                  : "After the suspend the keyboard lost what it was given; sent it again where "
                                    "it differed\n");
                if (!reopened || r.failures > 0) return;
                // The reopening's read-out showed what it had lost; the
                // window shows what it holds again.
                SyncClean();
                for (const ImageRegion& region : RegionsOf(Sequence::ArrivalReadout))
                    for (ConfigImage* image : {&store_->current(), clean_.get()})
                        std::copy_n(known->settings.begin() + region.offset, region.size,
                                    image->settings.begin() + region.offset);
                Refresh(1);
            });
        });
    });
}

void CKalvexDlg::OnDeviceVanished()
{
    if (ended_) return;
    hiddenForNoKeyboard_ = true;
    HideWindow();
    emit keyboardChanged();
}

void CKalvexDlg::OnKeyEvent(std::uint8_t code)
{
    zr417::OnKeyEvent(store_->current(), code, [this](const HostAction& action) {
        HostOpenPlan plan = PlanHostOpen(action.kind, action.directory, action.file);
        switch (plan.kind) {
            case HostOpenPlan::Kind::Nothing:
                break;
            case HostOpenPlan::Kind::Open:
                desktop_->openUrl(QUrl::fromLocalFile(QString::fromStdString(plan.path)));
                break;
            case HostOpenPlan::Kind::Start:
                desktop_->startDetached(QString::fromStdString(plan.path), QString::fromStdString(plan.directory));
                break;
        }
    });
}

void CKalvexDlg::ReadVersionFile()
{
    auto bytes = ReadFileBytes(paths_.exeDir / std::string(VersionFileName(model())), 12);
    fileVersion_ = bytes ? ParseVersionFile(*bytes) : FirmwareVersion{};
}

void CKalvexDlg::Refresh(int lParam)
{
    ++refreshCount_;
    SlidersFromImage();
    if (IsPerKeyEffect(store_->current().at(settings::Effect))) panel_.perKeyMode = true;
    std::array<std::uint8_t, 255> marks = keyState_.g_abKeyChanged();
    MarkChangedKeys(store_->current(), marks);
    keyState_.SetChangedKeys(marks);
    SaveKeymapLater(store_->current(), {});
    UpdateSliderVisibility();
    redraw();
    if (lParam != 0) return;
    emit keyboardChanged();
    auto prompt = FirmwareUpdatePrompt(fileVersion_, keyboardVersion_, g_nLanguage);
    if (prompt && desktop_->confirm(this, qs(prompt->text), qs(prompt->caption))) StartUpdateTool();
}

void CKalvexDlg::StartUpdateTool()
{
    auto folder = paths_.exeDir / std::string(UpdateToolFolder(model()));
    auto program = folder / std::string(kUpdateToolName);
    desktop_->startDetached(qpath(program), qpath(folder));
}

void CKalvexDlg::OpenHomePage()
{
    desktop_->openUrl(QUrl::fromLocalFile(qpath(paths_.exeDir / "home" / "index.html")));
}

// ---------------------------------------------------------------------------
// Mouse and keys

void CKalvexDlg::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) return;
    m_bButtonDown = true;
    dragged_ = false;
    dragOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void CKalvexDlg::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) return;
    m_bButtonDown = false;
    dragging_ = false;
    // A drag of the window is not a click.
    if (std::exchange(dragged_, false)) return;
    QPoint pos = event->position().toPoint();
    OnClick(pos.x(), pos.y());
}

void CKalvexDlg::mouseMoveEvent(QMouseEvent* event)
{
    QPoint pos = event->position().toPoint();
    const int x = pos.x(), y = pos.y();
    if (!(event->buttons() & Qt::LeftButton)) {
        m_bButtonDown = false;
        dragging_ = false;
    }
    if (dragging_) {
        move(event->globalPosition().toPoint() - dragOffset_);
        return;
    }
    const Model m = ModelOf(model());
    if (panel_.effectListOpen || panel_.zoneListOpen) {
        int row = panel_.effectListOpen ? EffectListHoverRow(m, x, y) : ZoneListHoverRow(m, x, y);
        if (row != hoverRow_) {
            hoverRow_ = row;
            redraw();
        }
    } else {
        int spot = MainHitTest(x, y, store_->current().at(settings::Effect));
        if (spot != kCmdNone) {
            m_nLastSpot = spot;
        } else if (m_nLastSpot != kCmdNone) {
            m_nLastSpot = kCmdNone;
            redraw();
        }
        std::uint8_t key = KeyHitTest(x, y, panel_.perKeyMode);
        // Drag the frameless window by any empty place.
        if (m_bButtonDown && spot == kCmdNone && key == kNoKey && !panel_.helpOpen) {
            m_bButtonDown = false;
            dragged_ = true;
            QWindow* w = windowHandle();
            if (!w || !w->startSystemMove()) dragging_ = true;
            return;
        }
    }
    std::uint8_t key = KeyHitTest(x, y, panel_.perKeyMode);
    if (key != keyState_.g_nSelectedKey()) {
        keyState_.SelectKey(key);
        redraw();
    }
}

void CKalvexDlg::keyPressEvent(QKeyEvent* event)
{
    // Enter, Escape and F1 neither close the window nor ask for help.
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
        case Qt::Key_F1:
            event->accept();
            return;
        default:
            QWidget::keyPressEvent(event);
    }
}

void CKalvexDlg::contextMenuEvent(QContextMenuEvent* event)
{
    // The title area (logo and the strip above the picture) carries the
    // window's system menu: About.
    QPoint p = event->pos();
    bool titleArea = Rect{19, 32, 261, 102}.contains(p.x(), p.y()) || (p.y() < 30 && p.x() < 930);
    if (!titleArea) return;
    QMenu menu(this);
    QAction* about = menu.addAction(qs(texts::kAbout.in(g_nLanguage)));
    connect(about, &QAction::triggered, this, &CKalvexDlg::ShowAbout);
    menu.exec(event->globalPos());
}

void CKalvexDlg::focusOutEvent(QFocusEvent* event)
{
    QWidget::focusOutEvent(event);
    redraw();
}

// A close request from the desktop (a window manager's close, Alt+F4) hides
// the window like the minimise button; the program ends by its own close
// button or the tray's exit item.
void CKalvexDlg::closeEvent(QCloseEvent* event)
{
    if (ended_) {
        event->accept();
        return;
    }
    event->ignore();
    HideWindow();
}

void CKalvexDlg::ShowAbout()
{
    CAboutDlg about(g_nLanguage, this);
    about.exec();
}

// ---------------------------------------------------------------------------
// Click dispatch

void CKalvexDlg::OnClick(int x, int y)
{
    const Model m = ModelOf(model());
    ConfigImage& image = store_->current();
    if (keyboardBusy()) {
        // Hiding goes at once and the close button hides at once; every other
        // click may change the image or talk to the keyboard: it waits.
        const bool popupOpen = panel_.effectListOpen || panel_.zoneListOpen || panel_.helpOpen;
        const int command = popupOpen ? kCmdNone : MainHitTest(x, y, image.at(settings::Effect));
        if (command == kCmdHide || command == kCmdCancel)
            HideWindow();
        else if (command == kCmdClose)
            CloseWhenIdle(true);
        else
            WhenIdle([this, x, y] { OnClick(x, y); });
        return;
    }
    if (panel_.effectListOpen) {
        EffectListClick(image, panel_, m, x, y);
        hoverRow_ = -1;
    } else if (panel_.zoneListOpen) {
        ZoneListClick(image, panel_, m, x, y);
        hoverRow_ = -1;
    } else if (panel_.helpOpen) {
        int row = HelpMenuRow(x, y);
        panel_.helpOpen = false;
        if (row == kHelpHomePage)
            OpenHomePage();
        else if (row == kHelpUpdate)
            StartUpdateTool();
    } else {
        int command = MainHitTest(x, y, image.at(settings::Effect));
        RunCommand(command, x, y);
        if (ended_) return;
        std::uint8_t key = KeyHitTest(x, y, panel_.perKeyMode);
        if (key != kNoKey) KeyClick(key);
    }
    UpdateSliderVisibility();
    redraw();
}

void CKalvexDlg::RunCommand(int command, int x, int y)
{
    (void)y;
    switch (command) {
        case kCmdHelp:
            panel_.helpOpen = !panel_.helpOpen;
            return;
        case kCmdHide:
        case kCmdCancel:
            HideWindow();
            return;
        case kCmdClose:
            CloseWhenIdle(true);
            return;
        case kCmdMacroManager:
            RunMacroManager();
            return;
        case kCmdProfiles:
            RunProfileManager();
            return;
        case kCmdDefault:
            FactoryResetCommand();
            return;
        case kCmdSave:
            SaveCommand();
            return;
        default:
            ApplyPanelCommand(store_->current(), panel_, command, x);
            if (panel_.effectListOpen || panel_.zoneListOpen) hoverRow_ = -1;
            return;
    }
}

DialogContext CKalvexDlg::dialogContext()
{
    DialogContext ctx;
    ctx.parent = this;
    ctx.model = model();
    ctx.language = g_nLanguage;
    ctx.paths = paths_;
    ctx.skinDir = m_szSkinDir;
    ctx.store = store_.get();
    ctx.macros = macros_.get();
    if (autoProfiles_)
        ctx.openAutomaticProfiles = [this](QWidget* parent) {
            ShowAutoProfilesDlg(*autoProfiles_, g_nLanguage, parent, true);
        };
    return ctx;
}

void CKalvexDlg::KeyClick(std::uint8_t key)
{
    if (panel_.perKeyMode) {
        PickKeyColour(key);
        return;
    }
    DialogContext ctx = dialogContext();
    RunResult result = RunKeyAssignment(
        keyState_, *store_, macros_->g_macroTable(), key, g_nLanguage,
        [&](KeyAssignmentState& state, ConfigImage& image) { return dialogs_->runKeyAssignment(ctx, state, image); });
    if (result == RunResult::SaveFailed) ReportSaveFailure(store_->file());
}

void CKalvexDlg::PickKeyColour(std::uint8_t key)
{
    keyState_.SelectKey(key);
    auto page = PicturePageOf(store_->current().at(settings::Effect));
    if (!page) return;  // per-key mode without a picture effect: nothing to paint
    auto colour = desktop_->pickColour(this, QColor(0, 0, 0));
    if (!colour) return;
    SetKeyColour(store_->current(), *page, key,
                 Rgb{static_cast<std::uint8_t>(colour->red()), static_cast<std::uint8_t>(colour->green()),
                     static_cast<std::uint8_t>(colour->blue())});
}

void CKalvexDlg::RunMacroManager()
{
    if (!dialogs_->runMacroManager(dialogContext())) return;
    macros_->PlaceMacrosInImage(store_->current());
    if (!store_->SaveKeymapFile()) {
        ReportSaveFailure(store_->file());
        macros_->SaveMacroFile();  // the same folder: no second box for it
        return;
    }
    if (!macros_->SaveMacroFile()) ReportSaveFailure(macros_->file());
}

void CKalvexDlg::RunProfileManager()
{
    dialogs_->runProfileManager(dialogContext(), frameGeometry());
    if (options_.pause)
        options_.pause(std::chrono::milliseconds(50));
    else
        RealPause(std::chrono::milliseconds(50));
    Refresh(1);
}

void CKalvexDlg::ApplyProfile(const ConfigImage& image, ApplyDone done)
{
    store_->current() = image;
    Refresh(1);
    Converse(Sequence::Hold, [this, done = std::move(done)](const KeyboardSession::Result& r) {
        r.MergeInto(store_->current());
        store_->CommitSavedImage();
        SaveFilesLater(store_->current(), [r = Kept(r), done](const std::optional<std::filesystem::path>& unsaved) {
            if (done) done(*r, unsaved);
        });
    });
}

void CKalvexDlg::ApplyLighting(const std::function<void(ConfigImage&)>& putLighting, ApplyDone done)
{
    // On what the keyboard holds as the window knows it (the saved image and
    // what read-outs found since), not on the working image's other edits.
    SyncClean();
    const auto held = std::make_unique<ConfigImage>(*clean_);
    putLighting(*held);
    // Sliders go into the image only on Save: one the lighting leaves alone
    // keeps the position the user gave it.
    ConfigImage& current = store_->current();
    constexpr std::array kSliders{kSliderBrightness, kSliderSpeed, kSliderZoneBrightness, kSliderZoneSpeed};
    std::array<std::uint8_t, kSliders.size()> before{};
    for (std::size_t i = 0; i < kSliders.size(); ++i) before[i] = current.at(SliderImageOffset(kSliders[i]));
    putLighting(current);
    for (std::size_t i = 0; i < kSliders.size(); ++i) {
        const std::uint8_t value = current.at(SliderImageOffset(kSliders[i]));
        if (value != before[i]) sliders_[kSliders[i]]->setValue(value);
    }
    if (IsPerKeyEffect(current.at(settings::Effect))) panel_.perKeyMode = true;
    UpdateSliderVisibility();
    redraw();
    Converse(Sequence::Hold, *held, [this, done = std::move(done)](const KeyboardSession::Result& r) {
        store_->CommitSavedImage(r.image);
        // The key table stays the working one: the key dialog keeps the
        // user's assignments in the file until Save or close, and reads
        // them back from there.
        const auto file = std::make_unique<ConfigImage>(store_->saved());
        file->keyTable = store_->current().keyTable;
        SaveFilesLater(*file, [r = Kept(r), done](const std::optional<std::filesystem::path>& unsaved) {
            if (done) done(*r, unsaved);
        });
    });
}

void CKalvexDlg::NoteSaveFailure(const std::filesystem::path& file)
{
    QString text = SaveFailureText(file);
    desktop_->notify(this, text, qs(texts::kSaveFailedCaption.in(g_nLanguage)), qs(texts::kOk.in(g_nLanguage)));
}

void CKalvexDlg::FactoryResetCommand()
{
    if (!desktop_->confirm(this, qs(texts::kResetText.in(g_nLanguage)), qs(texts::kResetCaption.in(g_nLanguage))))
        return;
    panel_.perKeyMode = false;
    Converse(Sequence::FactoryReset, [this](const KeyboardSession::Result& r) {
        r.MergeInto(store_->current());
        Refresh(0);  // the reset's refresh
        keyState_.ClearChangedKeys();
        store_->current().keyTable.fill(0);
        store_->RefreshKeyCodes();
        store_->CommitSavedImage();
        SaveFilesLater(store_->current(), [this](const std::optional<std::filesystem::path>& failed) {
            if (failed) ReportSaveFailure(*failed);
        });
    });
}

void CKalvexDlg::SaveCommand()
{
    // The image as it stands now is what goes out; nothing changes it until
    // the download is over.
    for (int id : {kSliderBrightness, kSliderSpeed, kSliderZoneBrightness, kSliderZoneSpeed})
        CopySliderToImage(store_->current(), id, sliders_[id]->value());
    Converse(Sequence::DownloadAll, [this](const KeyboardSession::Result& r) {
        r.MergeInto(store_->current());
        store_->CommitSavedImage();
        SaveFilesLater(store_->current(), [this](const std::optional<std::filesystem::path>& failed) {
            if (failed) ReportSaveFailure(*failed);
        });
    });
}

void CKalvexDlg::SaveKeymapLater(const ConfigImage& image, std::function<void(bool written)> then)
{
    ++writesPending_;
    store_->SaveKeymapFileLater(image, [post = uiCall_->poster(), this, then = std::move(then)](bool written) mutable {
        post([this, written, then = std::move(then)] {
            --writesPending_;
            if (then) then(written);
        });
    });
}

void CKalvexDlg::SaveFilesLater(const ConfigImage& image,
                                std::function<void(const std::optional<std::filesystem::path>& failed)> then)
{
    SaveKeymapLater(image, [this, then = std::move(then)](bool written) {
        std::optional<std::filesystem::path> failed;
        if (!written)
            failed = store_->file();
        else if (macros_->unsaved() && !macros_->SaveMacroFile())
            // Macros an earlier write could not store get another chance.
            failed = macros_->file();
        then(failed);
    });
}

QString CKalvexDlg::SaveFailureText(const std::filesystem::path& file) const
{
    // The store that owns the file kept the cause of its last failed save.
    std::error_code error = file == macros_->file() ? macros_->saveError() : store_->saveError();
    return qs(texts::kSaveFailedText.in(g_nLanguage))
        .arg(qpath(file), QString::fromStdString(WriteFailureCause(error, g_nLanguage)));
}

void CKalvexDlg::ReportSaveFailure(const std::filesystem::path& file)
{
    desktop_->warn(this, SaveFailureText(file), qs(texts::kSaveFailedCaption.in(g_nLanguage)),
                   qs(texts::kOk.in(g_nLanguage)));
}

}  // namespace zr417
