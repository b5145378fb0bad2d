#include "app/auto_profiles.h"

#include "app/auto_profiles_texts.h"
#include "app/profile_commands.h"
#include "automation/resume_watch.h"
#include "platform/trace.h"

#include <QPointer>

#include <algorithm>
#include <cstdio>
#include <set>
#include <variant>

namespace zr417 {
namespace {

constexpr int kLookMs = 1000;

QString qs(std::string_view s)
{
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

QString Text(const Bilingual& text, int language)
{
    return qs(text.in(language));
}

bool EndsWithExe(std::string_view s)
{
    if (s.size() < 4) return false;
    std::string tail(s.substr(s.size() - 4));
    for (char& c : tail) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    return tail == ".exe";
}

// The name a rule would give a process: a Windows program's file name, else
// its executable's, else its comm name.
std::string RuleName(const ProcessInfo& p)
{
    if (p.firstArg.find('\\') != std::string::npos || EndsWithExe(p.firstArg)) {
        const auto cut = p.firstArg.find_last_of("\\/");
        return cut == std::string::npos ? p.firstArg : p.firstArg.substr(cut + 1);
    }
    if (!p.exe.empty()) return std::filesystem::path(p.exe).filename().string();
    return p.comm;
}

}  // namespace

AutoProfiles::AutoProfiles(AutoProfileWindow& window, std::filesystem::path rulesFile, std::filesystem::path procRoot,
                           QObject* parent)
    : QObject(parent),
      window_(window),
      file_(rulesFile.empty() ? AutoRulesFile().value_or(std::filesystem::path()) : std::move(rulesFile)),
      watch_(std::move(procRoot)),
      switcher_(watch_, [this](const std::string& profile) { return profileExists(profile); })
{
    timer_.setInterval(kLookMs);
    connect(&timer_, &QTimer::timeout, this, &AutoProfiles::tick);
}

AutoProfiles::~AutoProfiles() = default;

void AutoProfiles::start()
{
    reload();
    resume_ = std::make_unique<ResumeWatch>();
    connect(resume_.get(), &ResumeWatch::resumed, this, &AutoProfiles::resumed);
}

void AutoProfiles::reload()
{
    if (file_.empty()) {
        fileProblem_ = "the account has no home folder for the rules";
        takeRules(AutoRules{false, {}, {}});
        return;
    }
    auto loaded = LoadAutoRules(file_);
    if (auto* why = std::get_if<std::string>(&loaded)) {
        if (fileProblem_ != *why) std::fprintf(stderr, "Automatic profiles are off: %s\n", why->c_str());
        fileProblem_ = *why;
        takeRules(AutoRules{false, {}, {}});
        return;
    }
    const AutoRules& rules = std::get<AutoRules>(loaded);
    if (fileProblem_.empty() && rules == rules_ && timer_.isActive() == rules.enabled) return;
    fileProblem_.clear();
    takeRules(rules);
}

void AutoProfiles::takeRules(const AutoRules& rules)
{
    rules_ = rules;
    switcher_.SetRules(rules);
    failed_.clear();
    if (rules.enabled) {
        if (!timer_.isActive()) timer_.start();
    } else {
        timer_.stop();
        pending_.reset();
    }
    updateStatus();
    emit changed();
}

bool AutoProfiles::setRules(const AutoRules& rules, std::string* error)
{
    if (file_.empty() || !SaveAutoRules(file_, rules, error)) {
        if (error && file_.empty()) *error = "the account has no home folder for the rules";
        return false;
    }
    fileProblem_.clear();
    takeRules(rules);
    return true;
}

std::optional<std::filesystem::path> AutoProfiles::startOver(std::string* error)
{
    std::filesystem::path aside = file_;
    aside += ".damaged";
    std::error_code ec;
    std::filesystem::rename(file_, aside, ec);
    if (ec) {
        if (error) *error = "cannot move " + file_.string() + " aside: " + ec.message();
        return std::nullopt;
    }
    if (!setRules(AutoRules{}, error)) return std::nullopt;
    return aside;
}

std::vector<std::string> AutoProfiles::profiles() const
{
    return ListProfiles(window_.profileDir());
}

bool AutoProfiles::profileExists(const std::string& name)
{
    if (!listed_) listed_ = profiles();
    return std::find(listed_->begin(), listed_->end(), name) != listed_->end();
}

std::vector<std::string> AutoProfiles::runningPrograms() const
{
    ProcessWatch look;
    look.Scan(BootClockNow());
    std::set<std::string> names;
    for (const auto& p : look.Processes())
        if (auto name = RuleName(p); !name.empty() && !ProgramProblem(name)) names.insert(name);
    std::vector<std::string> sorted(names.begin(), names.end());
    std::sort(sorted.begin(), sorted.end(), [](const std::string& a, const std::string& b) {
        return QString::fromStdString(a).compare(QString::fromStdString(b), Qt::CaseInsensitive) < 0;
    });
    return sorted;
}

void AutoProfiles::handle(const QString& line, const Reply& reply)
{
    auto request = DecodeAutoRequest(line.toStdString());
    if (!request) {
        reply(auto_exit::kUsage, qs(kAutoUsage));
        return;
    }
    reload();  // edits by hand count too
    AutoRules after;
    AutoOutcome outcome = RunAutoRequest(*request, file_, profiles(), &after);
    if (outcome.exitCode == auto_exit::kOk && request->kind == AutoRequest::Kind::List) {
        outcome.text += "Now: " + status(kLanguageEnglish).toStdString() + "\n";
    } else if (outcome.exitCode == auto_exit::kOk && after != rules_) {
        fileProblem_.clear();
        takeRules(after);
    }
    reply(outcome.exitCode, QString::fromStdString(outcome.text));
}

void AutoProfiles::tick()
{
    listed_.reset();
    if (auto target = switcher_.Tick(BootClockNow())) setTarget(*target);
    // A save, a profile applied by hand or a reset since: the keyboard holds
    // something else now.
    if (active_ && !switching_ && window_.commitCount() != active_->commits) active_.reset();
    trySwitch();
    updateStatus();
}

void AutoProfiles::setTarget(const AutoTarget& target)
{
    Tracef("Automatic profiles: %s%s%s\n",
           target.kind == AutoTarget::Kind::Keep ? "keep the profile" : ("profile \"" + target.profile + "\"").c_str(),
           target.kind == AutoTarget::Kind::Rule ? ", since it runs: " : "", target.program.c_str());
    failed_.clear();
    if (target.kind == AutoTarget::Kind::Keep) {
        pending_.reset();
        return;
    }
    if (active_ && !switching_ && active_->target.profile == target.profile) {
        active_->target = target;  // the same profile, now for another reason
        pending_.reset();
        return;
    }
    pending_ = target;
}

void AutoProfiles::trySwitch()
{
    if (!pending_ || switching_) {
        waiting_ = AutoProfileWindow::Wait::None;
        return;
    }
    waiting_ = window_.switchMustWait();
    if (waiting_ == AutoProfileWindow::Wait::Busy && !idleHooked_) {
        // A Save, a read-out or another apply runs: the switch goes right
        // after it rather than at the next look.
        QPointer<AutoProfiles> self(this);
        idleHooked_ = window_.whenIdle([self] {
            if (!self) return;
            self->idleHooked_ = false;
            self->trySwitch();
            self->updateStatus();
        });
    }
    if (waiting_ != AutoProfileWindow::Wait::None) return;
    const AutoTarget target = *pending_;
    pending_.reset();
    auto read = ReadProfileToApply(window_.profileDir(), target.profile);
    if (auto* refused = std::get_if<ProfileOutcome>(&read)) {
        failedProfile_ = target.profile;
        failed_ = refused->text;
        while (!failed_.empty() && failed_.back() == '\n') failed_.pop_back();
        return;
    }
    switching_ = true;
    QPointer<AutoProfiles> self(this);
    window_.switchTo(std::get<ConfigImage>(read), [self, target](const std::string& problem) {
        if (!self) return;
        self->switching_ = false;
        self->active_ = Switch{target, self->window_.commitCount()};
        if (!problem.empty()) {
            self->failedProfile_ = target.profile;
            self->failed_ = problem;
        }
        self->updateStatus();
    });
}

void AutoProfiles::resumed()
{
    Trace("Automatic profiles: the system resumed; checking the keyboard\n");
    window_.checkKeyboardAfterResume();
}

QString AutoProfiles::status(int language) const
{
    if (!fileProblem_.empty()) return Text(auto_text::kRulesDamaged, language);
    if (!rules_.enabled) return Text(auto_text::kStatusOff, language);
    QStringList lines;
    if (active_ && active_->target.kind == AutoTarget::Kind::Rule)
        lines << Text(auto_text::kStatusRule, language)
                     .arg(QString::fromStdString(active_->target.profile),
                          QString::fromStdString(active_->target.program));
    else if (active_)
        lines << Text(auto_text::kStatusDefault, language).arg(QString::fromStdString(active_->target.profile));
    else
        lines << Text(auto_text::kStatusIdle, language);
    if (pending_) {
        const QString profile = QString::fromStdString(pending_->profile);
        switch (waiting_) {
            case AutoProfileWindow::Wait::Edits:
                lines << Text(auto_text::kWaitEdits, language).arg(profile);
                break;
            case AutoProfileWindow::Wait::Dialog:
                lines << Text(auto_text::kWaitDialog, language).arg(profile);
                break;
            case AutoProfileWindow::Wait::NoKeyboard:
                lines << Text(auto_text::kWaitKeyboard, language).arg(profile);
                break;
            default:
                break;
        }
    }
    if (!failed_.empty())
        lines << Text(auto_text::kSwitchFailed, language)
                     .arg(QString::fromStdString(failedProfile_), QString::fromStdString(failed_));
    return lines.join(QLatin1Char('\n'));
}

void AutoProfiles::updateStatus()
{
    const QString text = status(window_.language());
    if (text == shownStatus_) return;
    shownStatus_ = text;
    window_.setStatusText(text);
    emit changed();
}

}  // namespace zr417
