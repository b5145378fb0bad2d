// The seams through which the main window reaches things it does not own:
// the sub-dialogs (key assignment, macro manager, profile manager), built by
// their own subsystems, and the desktop (opening pages and files, starting
// programs, asking the user). Tests replace them to see what would happen.
#pragma once

#include "config/image.h"
#include "keymap/key_assignment.h"
#include "macro/macro_store.h"
#include "platform/files.h"

#include <QColor>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QUrl>
#include <filesystem>
#include <functional>
#include <optional>

class QWidget;

namespace zr417 {

// What a sub-dialog gets from the main window.
struct DialogContext {
    QWidget* parent = nullptr;  // the main window
    int model = 1;              // g_nModel: 1 QV310, anything else the second model's dialogs
    int language = 9;           // 4 Chinese, 9 English
    AppPaths paths;
    std::filesystem::path skinDir;  // png/<language>/ with its trailing separator
    KeymapStore* store = nullptr;
    MacroStore* macros = nullptr;
    // Opens the automatic profiles dialog over `parent` (the profile panel's
    // menu); empty where the program has none.
    std::function<void(QWidget* parent)> openAutomaticProfiles;
};

// The modal sub-dialogs. Each returns what its dialog ended with; the main
// window does the rest (apply and save, place macros, refresh).
class SubDialogs {
public:
    virtual ~SubDialogs() = default;
    // CKeyMap (first model) or CKeymapDlg420 (others) for state.g_nSelectedKey(),
    // run by RunKeyAssignment; true for OK. The dialog may change the selected
    // key's entry in `image` and the state's pending assignment.
    virtual bool runKeyAssignment(const DialogContext& ctx, KeyAssignmentState& state, ConfigImage& image) = 0;
    // The macro manager on ctx.macros (BeginWork .. CommitWork); true for OK.
    virtual bool runMacroManager(const DialogContext& ctx) = 0;
    // The profile manager over `mainRect` (the main window's rectangle); it
    // loads or stores whole images in ctx.store.
    virtual void runProfileManager(const DialogContext& ctx, const QRect& mainRect) = 0;
};

// Stands in where a sub-dialog has not been built into the program yet: it
// shows nothing and reports Cancel, so nothing is applied or saved.
class PlaceholderSubDialogs : public SubDialogs {
public:
    bool runKeyAssignment(const DialogContext&, KeyAssignmentState&, ConfigImage&) override { return false; }
    bool runMacroManager(const DialogContext&) override { return false; }
    void runProfileManager(const DialogContext&, const QRect&) override {}
};

// The sub-dialogs of the program: the one place where each dialog is plugged
// in (program_dialogs.cpp).
SubDialogs& ProgramSubDialogs();

// The desktop, as the main window uses it. The default implementation is the
// real one: QDesktopServices, QProcess::startDetached (never a shell),
// QMessageBox, QColorDialog.
class DesktopActions {
public:
    virtual ~DesktopActions() = default;
    // A page, file or folder with the desktop's default handler.
    virtual bool openUrl(const QUrl& url);
    // A program, detached, with `workingDirectory`, no arguments.
    virtual bool startDetached(const QString& program, const QString& workingDirectory);
    // OK/Cancel question; true for OK.
    virtual bool confirm(QWidget* parent, const QString& text, const QString& caption);
    // A warning with one button labelled `ok` (in the window's language).
    virtual void warn(QWidget* parent, const QString& text, const QString& caption, const QString& ok);
    // The same warning without waiting for the user: the box stays open while
    // the program goes on. A new one replaces one still open.
    virtual void notify(QWidget* parent, const QString& text, const QString& caption, const QString& ok);
    // Modal colour choice; nullopt for Cancel.
    virtual std::optional<QColor> pickColour(QWidget* parent, const QColor& initial);

private:
    QPointer<QWidget> notice_;
};

}  // namespace zr417
