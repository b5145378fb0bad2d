// "zr417ctl profile auto ...": listing and editing the rules of automatic
// profiles. The running program answers these requests (and takes the new
// rules at once); without it zr417ctl edits the file itself, by the same
// rules.
#pragma once

#include "automation/auto_rules.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace zr417 {

// Exit codes, the same as the other profile commands'.
namespace auto_exit {
constexpr int kOk = 0;
constexpr int kUsage = 2;
constexpr int kFileError = 4;
constexpr int kUnknown = 6;  // no such profile, or no rule for the program
}  // namespace auto_exit

struct AutoOutcome {
    int exitCode = auto_exit::kOk;
    std::string text;  // lines, each ending in '\n'
};

struct AutoRequest {
    enum class Kind { List, Add, Remove, Default, On, Off };
    Kind kind = Kind::List;
    std::string program;  // Add, Remove
    std::string profile;  // Add, Default (empty: none)
    bool operator==(const AutoRequest&) const = default;
};

inline constexpr std::string_view kAutoUsage =
    "usage: zr417ctl profile auto list | add PROGRAM PROFILE | remove PROGRAM | default PROFILE|none | on | off\n";

// The words after "profile auto"; a usage or bad-name outcome when they are
// no request.
std::variant<AutoRequest, AutoOutcome> ParseAutoRequest(const std::vector<std::string>& words);

// One line for the program's socket: the words joined by tabs, which no
// program or profile name may hold. Decode gives nullopt for a line that is
// no such request.
std::string EncodeAutoRequest(const AutoRequest& request);
std::optional<AutoRequest> DecodeAutoRequest(std::string_view line);
bool IsAutoRequestLine(std::string_view line);

// The rules as a list: the switch, the default profile, one line a rule;
// a profile that is not among `profiles` is marked.
std::string FormatAutoRulesList(const AutoRules& rules, const std::vector<std::string>& profiles);

// Runs `request` on the rules file `file`. An edit names only profiles among
// `profiles`, is refused (nothing written) on a damaged file, and is written
// atomically. `after` receives the rules as they stand afterwards when the
// file could be read.
AutoOutcome RunAutoRequest(const AutoRequest& request, const std::filesystem::path& file,
                           const std::vector<std::string>& profiles, AutoRules* after = nullptr);

}  // namespace zr417
