#include "automation/auto_switcher.h"

#include <vector>

namespace zr417 {

AutoSwitcher::AutoSwitcher(ProcessWatch& watch, ProfileExists exists) : watch_(watch), exists_(std::move(exists)) {}

void AutoSwitcher::SetRules(AutoRules rules)
{
    const bool wasOn = rules_.enabled;
    rules_ = std::move(rules);
    if (!rules_.enabled) {
        watch_.Reset();
        running_.clear();
        target_ = {};
    } else if (wasOn) {
        rematch_ = true;
    }
}

void AutoSwitcher::match(const ProcessInfo& process)
{
    const AutoRule* rule = nullptr;
    for (const auto& candidate : rules_.rules)
        if (ProgramMatches(candidate.program, process)) {
            rule = &candidate;
            break;
        }
    auto it = running_.find(process.pid);
    if (!rule) {
        if (it != running_.end()) running_.erase(it);
        return;
    }
    // A process that showed again under another name for the same program
    // (Wine renames its processes) keeps its time.
    if (it != running_.end() && it->second.program == rule->program) {
        it->second.profile = rule->profile;
        return;
    }
    running_[process.pid] = {rule->program, rule->profile, process.since, ++order_};
}

AutoTarget AutoSwitcher::decide(std::chrono::nanoseconds now) const
{
    const Running* latest = nullptr;
    for (const auto& [pid, run] : running_) {
        if (now - run.since < kAutoMinimumRun || !exists_(run.profile)) continue;
        if (!latest || run.since > latest->since || (run.since == latest->since && run.order > latest->order))
            latest = &run;
    }
    if (latest) return {AutoTarget::Kind::Rule, latest->profile, latest->program};
    if (!rules_.defaultProfile.empty() && exists_(rules_.defaultProfile))
        return {AutoTarget::Kind::Default, rules_.defaultProfile, {}};
    return {};
}

std::optional<AutoTarget> AutoSwitcher::Tick(std::chrono::nanoseconds now)
{
    if (!rules_.enabled) return std::nullopt;
    // The end of a rule's program must be noticed at every look.
    std::vector<int> watched;
    watched.reserve(running_.size());
    for (const auto& [pid, run] : running_) watched.push_back(pid);
    if (rematch_) watch_.Relist();  // every process is matched again: none may have ended unseen
    const auto update = watch_.Scan(now, watched);
    if (rematch_) {
        rematch_ = false;
        running_.clear();
        for (const auto& process : watch_.Processes()) match(process);
    } else {
        for (int pid : update.gone) running_.erase(pid);
        for (const auto& process : update.seen) match(process);
    }
    AutoTarget next = decide(now);
    if (next == target_) return std::nullopt;
    target_ = next;
    return target_;
}

}  // namespace zr417
