// The main dialog: the program's only top-level window, frameless and painted
// from skins. It owns the configuration image, the macro table and the device
// link, dispatches every click to a command, opens the sub-dialogs, sends the
// image on Save, lives in the tray and follows plugging.
#pragma once

#include "app/auto_profiles.h"
#include "app/main_logic.h"
#include "app/seams.h"
#include "config/image.h"
#include "controls/skin.h"
#include "device/device_link.h"
#include "device/keyboard_session.h"
#include "keymap/key_assignment.h"
#include "macro/macro_store.h"
#include "platform/file_writer.h"
#include "platform/files.h"

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QRegion>
#include <QSystemTrayIcon>
#include <QWidget>
#include <array>
#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string_view>
#include <system_error>

class QEventLoop;
class QMenu;
class QSocketNotifier;
class QTimer;

namespace zr417 {

class CBitSlider;
class UiThreadCall;

// Everything the window depends on, so a test can build a fresh one.
struct MainWindowOptions {
    hid::Bus* bus = nullptr;            // required
    std::optional<AppPaths> paths;      // default: beside the executable
    PauseFn pause;                      // default: real pauses
    int language = 0;                   // 0: the per-user setting
    SubDialogs* dialogs = nullptr;      // default: ProgramSubDialogs()
    DesktopActions* desktop = nullptr;  // default: the real desktop
    bool splash = true;
    std::chrono::milliseconds splashTick{20};
    std::optional<bool> trayAvailable;  // default: asked from the desktop
    bool startHidden = false;           // a start at login: the window waits in the tray
    // How long a window without a notification area waits for one to come
    // up (a start at login) before it goes to the task bar instead.
    std::chrono::milliseconds trayWait{0};
};

class CKalvexDlg : public QWidget {
    Q_OBJECT
public:
    explicit CKalvexDlg(MainWindowOptions options, QWidget* parent = nullptr);
    ~CKalvexDlg() override;

    // Initialises, shows the window (unless the keyboard is absent) and runs
    // until the dialog ends (close button or the tray's exit item).
    int DoModal();
    // The initialisation alone (tests drive the window without DoModal).
    void OnInitDialog();
    bool ended() const { return ended_; }
    bool initialised() const { return initialised_; }

    int language() const { return g_nLanguage; }
    int model() const;
    KeymapStore& store() { return *store_; }
    MacroStore& macros() { return *macros_; }
    KeyAssignmentState& keyState() { return keyState_; }
    DeviceLink& link() { return *link_; }
    KeyboardSession& session() { return *session_; }
    const PanelState& panel() const { return panel_; }
    FirmwareVersion fileVersion() const { return fileVersion_; }
    // The keyboard's firmware version as the last read-out found it.
    FirmwareVersion keyboardVersion() const { return keyboardVersion_; }
    const AppPaths& paths() const { return paths_; }
    std::filesystem::path skinDir() const { return m_szSkinDir; }
    CBitSlider* slider(int id) const;
    QSystemTrayIcon* trayIcon() const { return tray_; }
    QMenu* trayMenu() const { return trayMenu_.get(); }
    // How many times the client area was composed.
    int composeCount() const { return composeCount_; }
    int effectListHoverRow() const { return hoverRow_; }
    // Refreshes handled so far.
    int refreshCount() const { return refreshCount_; }
    bool hiddenForNoKeyboard() const { return hiddenForNoKeyboard_; }

    // The refresh: sliders from the image, per-key mode, changed-key marks,
    // save keymap.bin, redraw; lParam 0 also compares the firmware versions.
    void Refresh(int lParam);
    // The host-action signal: the host action of a reported key.
    void OnKeyEvent(std::uint8_t code);
    // The listener's not-connected signal: the keyboard is gone under it.
    void OnDeviceVanished();
    // The tray icon's activation: a double click shows the window (or the
    // no-keyboard balloon).
    void OnTrayActivated(QSystemTrayIcon::ActivationReason reason);
    void StartUpdateTool();
    void ShowAbout();
    // A profile applied from outside the window (zr417ctl): loaded into the
    // working image as the profile manager loads one and the window
    // refreshed; then the keyboard is made to hold it (only what differs
    // from what it holds goes out), and once that is done the image is
    // committed and saved as Save does, and `done` hears how it went and
    // which file could not be written, if any; nobody is asked anything.
    using ApplyDone =
        std::function<void(const KeyboardSession::Result&, const std::optional<std::filesystem::path>& unsaved)>;
    void ApplyProfile(const ConfigImage& image, ApplyDone done);
    // Lighting set from outside the window (an OpenRGB client); `putLighting`
    // lays it onto an image. It goes onto the saved image, which the keyboard
    // is made to hold (only what differs goes out) and keymap.bin's settings
    // follow; the working image takes it too, so the window shows it, and
    // keeps its other unsaved edits unsaved. `done` as for ApplyProfile.
    void ApplyLighting(const std::function<void(ConfigImage&)>& putLighting, ApplyDone done);
    // Tells the user that `file` could not be written, without waiting for
    // an answer.
    void NoteSaveFailure(const std::filesystem::path& file);
    // Automatic profiles: the tray menu and the profile panel's menu open
    // their dialog, and the tray's tooltip carries their status.
    void setAutoProfiles(AutoProfiles* autoProfiles) { autoProfiles_ = autoProfiles; }
    void setTrayStatus(const QString& status);
    // Why a profile switch from outside must wait now: a conversation with
    // the keyboard under way, a dialog open, no keyboard, or changes in the
    // window not saved.
    AutoProfileWindow::Wait switchMustWait();
    // True while the window holds changes the keyboard does not have: moved
    // sliders, or an image edited since the last save or read-out.
    bool hasUnsavedEdits();
    // After a suspend: reopens the keyboard when its handles died, reads it
    // back and sends what it held before (what it was last given or found
    // holding) again where it differs.
    void CheckKeyboardAfterResume();
    // True while a conversation the window asked for runs or waits; the
    // window shows it and holds back everything that would change the image.
    bool keyboardBusy() const { return conversations_ > 0; }
    // True while files the window saved are still being written.
    bool writingFiles() const { return writesPending_ > 0; }
    // Runs `work` now, or once the window's conversations with the keyboard
    // have ended.
    void WhenIdle(std::function<void()> work);
    // Plug events waiting on the bus (the notifier calls this).
    void OnPlugEvents();
    // The whole client area, composed now.
    QImage Compose();
    // Draws `region` of the client area with `p` (what a paint does).
    void Compose(QPainter& p, const QRegion& region);
    // The busy state's part of the client area: the Save button held down
    // and the progress line under the buttons.
    static constexpr QRect kBusyArea{798, 600, 190, 40};
    // More items for the tray menu, added when it is built (before DoModal).
    void setTrayItems(std::function<void(QMenu&)> add) { trayItems_ = std::move(add); }

signals:
    // A keyboard's settings were read (start-up, plugging, factory reset) or
    // the keyboard went away.
    void keyboardChanged();

public slots:
    // A second start of the program asks for the window, also from the tray.
    void restoreAndActivate();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void EndDialog();
    void HideWindow();
    void ShowFromTray();
    void OnClick(int x, int y);
    void RunCommand(int command, int x, int y);
    void KeyClick(std::uint8_t key);
    void PickKeyColour(std::uint8_t key);
    void RunMacroManager();
    void RunProfileManager();
    void FactoryResetCommand();
    void SaveCommand();
    void OnArrived();
    void HandlePlugEvents();
    // Asks the session for `sequence` on a copy of the working image (or of
    // `image`); `then` runs on this thread once it is over. Busy meanwhile.
    void Converse(Sequence sequence, std::function<void(const KeyboardSession::Result&)> then);
    void Converse(Sequence sequence, const ConfigImage& image,
                  std::function<void(const KeyboardSession::Result&)> then);
    void OnConversationEnded(const KeyboardSession::Result& result,
                             const std::function<void(const KeyboardSession::Result&)>& then);
    void ShowBusy(bool busy);
    QCursor StillWaitCursor() const;
    // The close button and the tray's exit: a conversation under way ends first.
    void CloseWhenIdle(bool saveSavedImage);
    // keymap.bin / MacroDefine.bin could not be written: tell the user.
    void ReportSaveFailure(const std::filesystem::path& file);
    // The save-failure text for `file`, with the cause its store kept.
    QString SaveFailureText(const std::filesystem::path& file) const;
    // Writes keymap.bin from `image` as it stands, off this thread; `then`
    // hears on this thread whether it was written.
    void SaveKeymapLater(const ConfigImage& image, std::function<void(bool written)> then);
    // The same, then MacroDefine.bin when an earlier write of it failed;
    // `then` hears which file could not be written, if any.
    void SaveFilesLater(const ConfigImage& image,
                        std::function<void(const std::optional<std::filesystem::path>& failed)> then);
    void ReadVersionFile();
    void CreateSliders();
    void SlidersFromImage();
    void UpdateSliderVisibility();
    void CreateTrayIcon();
    void WaitForTray();
    // A read-out put the keyboard's regions into the working image: they
    // are no edits of the user's.
    void NoteReadout(const KeyboardSession::Result& readout);
    void SyncClean();
    void OpenHomePage();
    DialogContext dialogContext();
    void redraw();

    // Drawing (kalvex_paint.cpp).
    void DrawImage(QPainter& p, std::string_view name, int x, int y);
    void DrawText(QPainter& p, std::string_view text, int x, int y, int height, QColor colour);
    void DrawRightLabel(QPainter& p, std::string_view text, int x, int y, int height, QColor colour);
    void DrawCentredText(QPainter& p, std::string_view text, int centreX, int y, int height, QColor colour);
    void OnSliderRepaint(int id, int thumbX);
    struct KeyboardPictures {
        QImage backdrop;   // main.png with the model's plain keyboard on it
        QImage litKeys;    // the lit keyboard where it has keys
        QPoint litKeysAt;  // where that part starts in the keyboard picture
        int model = -1;    // what they were made for
        qreal ratio = 0;
    };
    const KeyboardPictures& Pictures(qreal devicePixelRatio);
    void DrawKeyboard(QPainter& p);
    void DrawPanel(QPainter& p);
    void DrawSlider(QPainter& p, int id);
    void DrawColourCells(QPainter& p, int y, std::uint8_t colourIndex);
    void DrawLists(QPainter& p);
    void DrawHelpMenu(QPainter& p);
    void DrawBusy(QPainter& p);

    MainWindowOptions options_;
    SubDialogs* dialogs_;
    DesktopActions* desktop_;
    std::unique_ptr<DesktopActions> ownDesktop_;

    int g_nLanguage = kLanguageEnglish;
    AppPaths paths_;
    std::filesystem::path m_szSkinDir;
    FirmwareVersion fileVersion_;  // m_nFileMajor, m_nFileMinor

    std::unique_ptr<KeymapStore> store_;
    std::unique_ptr<MacroStore> macros_;
    KeyAssignmentState keyState_;
    std::unique_ptr<UiThreadCall> uiCall_;
    std::unique_ptr<DeviceLink> link_;
    std::unique_ptr<KeyboardSession> session_;  // every conversation with the keyboard
    int conversations_ = 0;                     // asked for by the window and not yet heard back
    std::deque<std::function<void()>> whenIdle_;
    std::shared_ptr<FileWriter> writer_;      // keymap.bin, in the order the writes were asked for
    int writesPending_ = 0;                   // asked of the writer and not yet heard back
    QTimer* busyTimer_ = nullptr;             // repaints the progress while busy
    std::vector<hid::PlugEvent> plugEvents_;  // waiting for an arrival to settle
    bool arrivalWaiting_ = false;
    FirmwareVersion keyboardVersion_;  // g_nFwMajor, g_nFwMinor of the last read-out

    PanelState panel_;
    int hoverRow_ = -1;  // effect or zone list row under the cursor
    bool m_bButtonDown = false;
    int m_nLastSpot = kCmdNone;
    bool dragging_ = false;
    bool dragged_ = false;
    QPoint dragOffset_;

    std::map<int, CBitSlider*> sliders_;
    std::map<int, int> lastThumbX_;  // per slider: the thumb position last painted
    AutoProfiles* autoProfiles_ = nullptr;
    QString trayStatus_;
    // The working image as it would be without the user's changes: the saved
    // image as of commit cleanCommit_, with later read-outs in it.
    std::unique_ptr<ConfigImage> clean_;
    std::uint64_t cleanCommit_ = 0;
    QSystemTrayIcon* tray_ = nullptr;
    std::unique_ptr<QMenu> trayMenu_;
    std::function<void(QMenu&)> trayItems_;
    QSocketNotifier* plugNotifier_ = nullptr;
    bool trayAvailable_ = false;
    bool awaitingTray_ = false;
    bool hiddenForNoKeyboard_ = false;
    bool initialised_ = false;
    bool ended_ = false;
    QEventLoop* loop_ = nullptr;

    int composeCount_ = 0;
    int refreshCount_ = 0;
    SkinFolder skins_;
    KeyboardPictures pictures_;
};

}  // namespace zr417
