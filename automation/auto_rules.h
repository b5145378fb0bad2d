// The rules of automatic profiles: which profile the keyboard takes while a
// program runs, the profile for when none of them runs, and the switch that
// turns it all on and off. They live in one small text file of the user's:
//
//   # comment
//   enabled=on
//   default=Office
//
//   [rule]
//   program=racing-game
//   profile=Racing
//
// A value is the rest of its line after the first '=', blanks at both ends
// dropped, so names may hold '=' and '#'. A rule names its program by file
// name, by full path (a name with '/'), or, for a Windows game, by the name
// of its ".exe" (which matches in any case).
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace zr417 {

struct AutoRule {
    std::string program;
    std::string profile;
    bool operator==(const AutoRule&) const = default;
};

struct AutoRules {
    bool enabled = true;
    std::string defaultProfile;  // empty: none (the keyboard keeps what it has)
    std::vector<AutoRule> rules;
    bool operator==(const AutoRules&) const = default;
};

// The largest rules file read; anything longer is no file of ours.
constexpr std::size_t kMaxAutoRulesFileBytes = 256 * 1024;

// $XDG_CONFIG_HOME (absolute) or the account's ~/.config, then
// zr417/auto-profiles.conf; nullopt when the account has no home.
std::optional<std::filesystem::path> AutoRulesFile();

// Why `program` can be no rule's program (empty, blank at an end, control
// characters, a path not from the root, too long); nullopt when it can.
std::optional<std::string> ProgramProblem(std::string_view program);
// The same for the profile a rule or the default names.
std::optional<std::string> RuleProfileProblem(std::string_view profile);

// Whether two rule programs name the same program: ".exe" names regardless
// of case, everything else exactly.
bool SameProgram(std::string_view a, std::string_view b);

// The file's text and back. A text that is no rules file gives the reason,
// with the line it was found on.
std::variant<AutoRules, std::string> ParseAutoRules(std::string_view text);
std::string FormatAutoRules(const AutoRules& rules);

// The rules in `file`; a missing file holds no rules (and is on). A file that
// cannot be read or is damaged gives the reason, naming the file.
std::variant<AutoRules, std::string> LoadAutoRules(const std::filesystem::path& file);
// Writes the rules atomically, making the folder when it is missing. False,
// with the reason in `error`, when it could not.
bool SaveAutoRules(const std::filesystem::path& file, const AutoRules& rules, std::string* error);

// Edits. AddRule gives `program` the profile, replacing the rule of the same
// program or appending one; RemoveRule is false when no rule names it.
void AddRule(AutoRules& rules, std::string_view program, std::string_view profile);
bool RemoveRule(AutoRules& rules, std::string_view program);
// The rule of `program` (SameProgram), or nullptr.
const AutoRule* FindRule(const AutoRules& rules, std::string_view program);

}  // namespace zr417
