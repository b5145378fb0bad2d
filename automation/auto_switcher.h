// Which profile the keyboard should hold, from the rules and the user's
// processes. A rule's program counts once it has run for two seconds (a
// launcher that lives shorter switches nothing); of the programs that
// count, the one started last decides; when none runs, the default profile
// does, and with no default the keyboard keeps what it has. A rule whose
// profile does not exist counts for nothing.
#pragma once

#include "automation/auto_rules.h"
#include "automation/process_watch.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>

namespace zr417 {

inline constexpr std::chrono::seconds kAutoMinimumRun{2};

struct AutoTarget {
    enum class Kind {
        Keep,     // nothing to switch to: the keyboard keeps its profile
        Rule,     // `program` runs, so `profile`
        Default,  // none of the rules' programs runs, so the default `profile`
    };
    Kind kind = Kind::Keep;
    std::string profile;
    std::string program;  // the rule's program, for Rule
    bool operator==(const AutoTarget&) const = default;
};

class AutoSwitcher {
public:
    using ProfileExists = std::function<bool(const std::string& profile)>;
    AutoSwitcher(ProcessWatch& watch, ProfileExists exists);

    // New rules take effect at the next look. Turned off, the watch forgets
    // everything and the target is Keep; turned on again, it starts afresh.
    void SetRules(AutoRules rules);
    const AutoRules& rules() const { return rules_; }

    // One look at the processes at `now` (boot clock), when on. Returns the
    // target when it differs from the one before.
    std::optional<AutoTarget> Tick(std::chrono::nanoseconds now);
    const AutoTarget& target() const { return target_; }

private:
    struct Running {
        std::string program;  // the rule's
        std::string profile;
        std::chrono::nanoseconds since{0};
        std::uint64_t order = 0;  // ties of `since` go to the one seen later
    };
    void match(const ProcessInfo& process);
    AutoTarget decide(std::chrono::nanoseconds now) const;

    ProcessWatch& watch_;
    ProfileExists exists_;
    AutoRules rules_;
    bool rematch_ = false;  // the rules changed: match every known process again
    std::unordered_map<int, Running> running_;
    std::uint64_t order_ = 0;
    AutoTarget target_;
};

}  // namespace zr417
