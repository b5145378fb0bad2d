// Automatic profiles in the running program: the rules, the watch over the
// user's processes once a second, and the switches that follow, which go
// through the main window as a profile applied through the program does:
// on the keyboard session's thread, only what the keyboard does not hold
// yet is sent. A switch waits while the window talks to the keyboard (and
// goes right after), holds changes not saved, or a dialog is open. After a suspend
// the keyboard is checked. The tray's tooltip says which profile is active
// and why, and when a switch waits.
#pragma once

#include "automation/auto_commands.h"
#include "automation/auto_rules.h"
#include "automation/auto_switcher.h"
#include "automation/process_watch.h"
#include "config/image.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zr417 {

class ResumeWatch;

// What automatic profiles need of the main window.
class AutoProfileWindow {
public:
    virtual ~AutoProfileWindow() = default;
    enum class Wait { None, Busy, Edits, Dialog, NoKeyboard };
    // Why a switch may not go now.
    virtual Wait switchMustWait() = 0;
    // Loads `image` into the window as the profile panel loads a profile and
    // makes the keyboard hold it (only what differs from what it holds goes
    // out), saving as Save does; `done` hears, later, what went wrong (empty
    // when nothing did).
    virtual void switchTo(const ConfigImage& image, std::function<void(const std::string& problem)> done) = 0;
    // While the window talks to the keyboard: runs `work` once it has ended
    // and returns true. False, with nothing kept, when it talks to nobody.
    virtual bool whenIdle(std::function<void()> work) = 0;
    // Counts the images the window committed as the keyboard's (saves,
    // applied profiles, a factory reset): another count than after a switch
    // means something else has changed the keyboard since.
    virtual std::uint64_t commitCount() const = 0;
    virtual std::filesystem::path profileDir() const = 0;
    virtual int language() const = 0;
    virtual void setStatusText(const QString& text) = 0;  // the tray's tooltip
    // After a suspend: reopen the keyboard if its handles died, read it back
    // and send the saved image again where it differs.
    virtual void checkKeyboardAfterResume() = 0;
};

class AutoProfiles : public QObject {
    Q_OBJECT
public:
    // `rulesFile` empty: the user's (AutoRulesFile). `procRoot` is /proc
    // but in tests.
    AutoProfiles(AutoProfileWindow& window, std::filesystem::path rulesFile = {},
                 std::filesystem::path procRoot = "/proc", QObject* parent = nullptr);
    ~AutoProfiles() override;

    // Reads the rules and starts watching when they are on; listens for the
    // end of a suspend.
    void start();

    // A request of zr417ctl ("profile auto ..."): the rules file is read
    // again, so edits by hand count too.
    using Reply = std::function<void(int exitCode, const QString& text)>;
    void handle(const QString& line, const Reply& reply);

    // The dialog's side.
    const AutoRules& rules() const { return rules_; }
    // Why the rules file could not be read (it is then left alone and
    // nothing switches); empty when it was read.
    const std::string& fileProblem() const { return fileProblem_; }
    const std::filesystem::path& rulesFile() const { return file_; }
    // Reads the rules file again.
    void reload();
    // Writes and takes `rules`; false, with the reason, when they could not be written.
    bool setRules(const AutoRules& rules, std::string* error);
    // Moves a damaged rules file aside (to the returned name) and starts
    // with no rules.
    std::optional<std::filesystem::path> startOver(std::string* error);
    std::vector<std::string> profiles() const;
    // The user's running programs, by the names a rule would give them.
    std::vector<std::string> runningPrograms() const;
    // The status: which profile is active and why, what a switch waits for,
    // and why one could not go.
    QString status(int language) const;

    // One look at the processes (the timer's; tests call it).
    void tick();
    // The end of a suspend (the resume watch's).
    void resumed();

signals:
    void changed();  // the rules or the status changed

private:
    struct Switch {
        AutoTarget target;
        std::uint64_t commits = 0;  // the window's commit count right after it
    };
    void takeRules(const AutoRules& rules);
    void setTarget(const AutoTarget& target);
    void trySwitch();
    void updateStatus();
    bool profileExists(const std::string& name);

    AutoProfileWindow& window_;
    std::filesystem::path file_;
    AutoRules rules_;
    std::string fileProblem_;
    ProcessWatch watch_;
    AutoSwitcher switcher_;
    QTimer timer_;
    std::unique_ptr<ResumeWatch> resume_;

    std::optional<AutoTarget> pending_;  // to switch to once the window lets it
    AutoProfileWindow::Wait waiting_ = AutoProfileWindow::Wait::None;
    bool switching_ = false;
    bool idleHooked_ = false;       // a look is due once the window's conversation ends
    std::optional<Switch> active_;  // the last switch, while nothing else changed the keyboard
    std::string failed_;            // why the last switch could not go
    std::string failedProfile_;
    // The profiles as listed at this look (the switcher asks several times).
    std::optional<std::vector<std::string>> listed_;
    QString shownStatus_;
};

}  // namespace zr417
