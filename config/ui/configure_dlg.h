// CConfigureDlg: the profile manager. A frameless panel painted from the
// Config skins, opened modally over the main window's top-left corner, with
// the profile list (renamed in place), a context menu and the drawn New,
// Delete and close buttons. The rules live in ProfileStore; this window shows
// its rows and hands it the user's commands.
#pragma once

#include "config/profile_store.h"
#include "controls/skin.h"
#include "macro/transparent_list_box.h"
#include "platform/files.h"

#include <QDialog>
#include <QMenu>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>

namespace zr417 {

// Where the panel reaches outside itself; each one left empty takes the real
// thing (QMessageBox, QFileDialog, QMenu::exec, a blocking sleep).
struct ProfileManagerSeams {
    // Returns true when the user chose OK.
    std::function<bool(QWidget* parent, const QString& text, const QString& caption, bool okCancel)> messageBox;
    // The save-as or open dialog starting in `folder`; nullopt for Cancel.
    std::function<std::optional<std::filesystem::path>(QWidget* parent, ProfileStore::FileChoice choice,
                                                       const std::filesystem::path& folder)>
        chooseFile;
    // Shows the context menu at a global position; returns the chosen action or nullptr.
    std::function<QAction*(QMenu& menu, const QPoint& globalPos)> execMenu;
    std::function<void(std::chrono::milliseconds)> pause;
    // Set: the context menu ends with "Automatic profiles…", which calls it
    // with the panel as the parent.
    std::function<void(QWidget* parent)> openAutomaticProfiles;
};

// Context menu and drawn-button commands (the menu item ids).
enum ProfileCommand : int {
    kCmdProfileNew = 32785,
    kCmdProfileCopy = 32817,
    kCmdProfileSave = 32786,
    kCmdProfileLoad = 32787,
    kCmdProfileDelete = 32788,
    kCmdAutomaticProfiles = 32900,  // the program's own, not the profile manager's
};

// Drawn buttons of the panel, by client point (borders as the panel reads them).
enum class ConfigButton { None, Close, New, Delete };
ConfigButton HitTestConfigButton(const QPoint& point);

class CConfigureDlg : public QDialog, private ProfileStore::Host {
    Q_OBJECT
public:
    static constexpr QRect kListRect{1, 34, 260, 540};

    CConfigureDlg(KeymapStore& store, int language, const AppPaths& paths, const QRect& mainWindowRect,
                  QWidget* parent = nullptr, ProfileManagerSeams seams = {});
    ~CConfigureDlg() override;

    ProfileStore& profiles() { return profiles_; }
    CTransparentListBox* list() const { return list_; }
    int language() const { return language_; }

    // The context menu in the current language, the command ids as the
    // actions' data; OpenContextMenu shows it and runs the chosen command.
    void BuildContextMenu(QMenu& menu) const;
    void OpenContextMenu(const QPoint& globalPos);
    void Command(int command);

    // The panel as it would be painted now (without the list's rows).
    QImage RenderFrame() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

public slots:
    void done(int result) override;

private:
    // ProfileStore::Host
    bool messageBox(ProfileMessage message) override;
    std::optional<std::filesystem::path> chooseFile(ProfileStore::FileChoice choice,
                                                    const std::filesystem::path& folder) override;
    void pause(std::chrono::milliseconds ms) override;
    void listChanged() override;

    void onNameEdited(int startRow, int newRow);
    void commitOpenEdit();

    ProfileManagerSeams seams_;
    int language_;
    SkinFolder skins_;
    QImage frame_;                         // the panel's picture; the language never changes while it is open
    CTransparentListBox* list_ = nullptr;  // the profile names
    bool syncing_ = false;
    ProfileStore profiles_;
};

// Runs the profile manager modally over the main window (its rectangle
// `mainWindowRect`) on `store`'s working image. The caller then pauses 50 ms
// and refreshes itself from the image (its refresh with lParam 1), which
// also saves keymap.bin. Returns the dialog's result (Accepted for the close
// button, Rejected for Escape); the refresh is due either way.
int RunProfileManager(QWidget* parent, QRect mainWindowRect, KeymapStore& store, int language, const AppPaths& paths,
                      ProfileManagerSeams seams = {});

}  // namespace zr417
