#include "automation/auto_rules.h"

#include "config/profile_store.h"
#include "platform/files.h"

#include <algorithm>
#include <cstdlib>
#include <system_error>

namespace zr417 {
namespace fs = std::filesystem;

namespace {

constexpr std::size_t kMaxProgramBytes = 1024;  // a request to the program is one line of at most 4 KiB
constexpr std::string_view kBlanks = " \t";

std::string_view Trim(std::string_view s)
{
    const auto first = s.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    return s.substr(first, s.find_last_not_of(kBlanks) - first + 1);
}

bool HasControl(std::string_view s)
{
    return std::any_of(s.begin(), s.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u < 0x20 || u == 0x7f;
    });
}

bool BlankAtEnd(std::string_view s)
{
    return !s.empty() &&
           (kBlanks.find(s.front()) != std::string_view::npos || kBlanks.find(s.back()) != std::string_view::npos);
}

char Lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Lower(x) == Lower(y); });
}

bool IsExeName(std::string_view s)
{
    return s.size() >= 4 && EqualsNoCase(s.substr(s.size() - 4), ".exe");
}

std::optional<bool> ParseSwitch(std::string_view value)
{
    for (std::string_view on : {"on", "yes", "true", "1"})
        if (EqualsNoCase(value, on)) return true;
    for (std::string_view off : {"off", "no", "false", "0"})
        if (EqualsNoCase(value, off)) return false;
    return std::nullopt;
}

std::string Quoted(std::string_view s)
{
    return "\"" + std::string(s) + "\"";
}

}  // namespace

std::optional<fs::path> AutoRulesFile()
{
    fs::path config;
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg == '/') {
        config = xdg;
    } else {
        auto home = AccountHome();
        if (!home) return std::nullopt;
        config = *home / ".config";
    }
    return config / "zr417" / "auto-profiles.conf";
}

std::optional<std::string> ProgramProblem(std::string_view program)
{
    if (Trim(program).empty()) return "the program name is empty";
    if (HasControl(program)) return "the program name " + Quoted(program) + " holds control characters";
    if (BlankAtEnd(program)) return "the program name " + Quoted(program) + " begins or ends with a blank";
    if (program.size() > kMaxProgramBytes) return "the program name is too long";
    if (program.find('/') != std::string_view::npos) {
        // A path only ever equals an executable's full path.
        if (program.front() != '/')
            return "the program " + Quoted(program) + " is a path; give it in full, from \"/\", or give its file name";
        if (program.back() == '/') return "the program " + Quoted(program) + " names a folder";
    }
    return std::nullopt;
}

std::optional<std::string> RuleProfileProblem(std::string_view profile)
{
    if (Trim(profile).empty()) return "the profile name is empty";
    if (HasControl(profile)) return "the profile name " + Quoted(profile) + " holds control characters";
    if (BlankAtEnd(profile)) return "the profile name " + Quoted(profile) + " begins or ends with a blank";
    if (!IsValidProfileName(profile)) return Quoted(profile) + " can be no profile's name";
    return std::nullopt;
}

bool SameProgram(std::string_view a, std::string_view b)
{
    if (IsExeName(a) && IsExeName(b)) return EqualsNoCase(a, b);
    return a == b;
}

std::variant<AutoRules, std::string> ParseAutoRules(std::string_view text)
{
    AutoRules rules;
    // The rule being read, with the lines its parts came from.
    struct Open {
        AutoRule rule;
        int line = 0, programLine = 0, profileLine = 0;
    };
    std::optional<Open> open;
    std::vector<int> ruleLines;  // where each finished rule's program was given
    bool sawEnabled = false, sawDefault = false;
    std::string error;

    auto fail = [&](int line, const std::string& why) {
        error = "line " + std::to_string(line) + ": " + why;
        return false;
    };
    auto close = [&]() {
        if (!open) return true;
        if (!open->programLine) return fail(open->line, "the rule has no program=");
        if (!open->profileLine) return fail(open->line, "the rule has no profile=");
        for (std::size_t i = 0; i < rules.rules.size(); ++i)
            if (SameProgram(rules.rules[i].program, open->rule.program))
                return fail(open->programLine, "the program " + Quoted(open->rule.program) +
                                                   " has a rule already (line " + std::to_string(ruleLines[i]) + ")");
        rules.rules.push_back(std::move(open->rule));
        ruleLines.push_back(open->programLine);
        open.reset();
        return true;
    };

    int number = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t end = std::min(text.find('\n', pos), text.size());
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        ++number;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (std::any_of(line.begin(), line.end(), [](char c) {
                const auto u = static_cast<unsigned char>(c);
                return (u < 0x20 && c != '\t') || u == 0x7f;
            })) {
            fail(number, "the line holds control characters");
            break;
        }
        const std::string_view trimmed = Trim(line);
        if (trimmed.empty() || trimmed.front() == '#' || trimmed.front() == ';') continue;
        if (trimmed.front() == '[') {
            if (trimmed != "[rule]") {
                fail(number, "unknown section " + std::string(trimmed) + " (only [rule] is known)");
                break;
            }
            if (!close()) break;
            open = Open{{}, number};
            continue;
        }
        const auto eq = trimmed.find('=');
        if (eq == std::string_view::npos) {
            fail(number, "expected NAME=VALUE, found " + Quoted(trimmed));
            break;
        }
        const std::string_view key = Trim(trimmed.substr(0, eq)), value = Trim(trimmed.substr(eq + 1));
        if (open) {
            int* where = key == "program" ? &open->programLine : key == "profile" ? &open->profileLine : nullptr;
            if (!where) {
                fail(number, "unknown name " + Quoted(key) + " in a rule (program= and profile= are known)");
                break;
            }
            if (*where) {
                fail(number, "the rule has " + std::string(key) + "= already (line " + std::to_string(*where) + ")");
                break;
            }
            auto problem = key == "program" ? ProgramProblem(value) : RuleProfileProblem(value);
            if (problem) {
                fail(number, *problem);
                break;
            }
            *where = number;
            (key == "program" ? open->rule.program : open->rule.profile) = value;
        } else if (key == "enabled") {
            auto on = ParseSwitch(value);
            if (!on || sawEnabled) {
                fail(number, sawEnabled ? "enabled= is given twice" : "enabled= takes on or off");
                break;
            }
            rules.enabled = *on;
            sawEnabled = true;
        } else if (key == "default") {
            if (sawDefault) {
                fail(number, "default= is given twice");
                break;
            }
            if (!value.empty()) {
                if (auto problem = RuleProfileProblem(value)) {
                    fail(number, *problem);
                    break;
                }
            }
            rules.defaultProfile = value;
            sawDefault = true;
        } else {
            fail(number,
                 "unknown name " + Quoted(key) + " (enabled= and default= are known; a rule begins with [rule])");
            break;
        }
    }
    if (error.empty()) close();
    if (!error.empty()) return error;
    return rules;
}

std::string FormatAutoRules(const AutoRules& rules)
{
    std::string text =
        "# Automatic profiles of the ZR417 keyboard program. The program's \"Automatic profiles\"\n"
        "# window and \"zr417ctl profile auto\" edit this file. default= empty: the keyboard keeps\n"
        "# its profile when none of the programs runs.\n";
    text += "enabled=" + std::string(rules.enabled ? "on" : "off") + "\n";
    text += "default=" + rules.defaultProfile + "\n";
    for (const auto& rule : rules.rules)
        text += "\n[rule]\nprogram=" + rule.program + "\nprofile=" + rule.profile + "\n";
    return text;
}

std::variant<AutoRules, std::string> LoadAutoRules(const fs::path& file)
{
    std::error_code ec;
    const auto status = fs::status(file, ec);
    if (status.type() == fs::file_type::not_found) return AutoRules{};
    auto bytes = ReadFileBytes(file, kMaxAutoRulesFileBytes + 1);
    if (!bytes) return file.string() + " cannot be read";
    if (bytes->size() > kMaxAutoRulesFileBytes) return file.string() + " is too large for a rules file";
    auto parsed = ParseAutoRules(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
    if (auto* why = std::get_if<std::string>(&parsed)) return file.string() + ", " + *why;
    return parsed;
}

bool SaveAutoRules(const fs::path& file, const AutoRules& rules, std::string* error)
{
    std::error_code ec;
    fs::create_directories(file.parent_path(), ec);
    const std::string text = FormatAutoRules(rules);
    if (WriteFileAtomic(file, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()))) return true;
    if (error) *error = file.string() + " could not be written";
    return false;
}

void AddRule(AutoRules& rules, std::string_view program, std::string_view profile)
{
    for (auto& rule : rules.rules)
        if (SameProgram(rule.program, program)) {
            rule.program = program;
            rule.profile = profile;
            return;
        }
    rules.rules.push_back({std::string(program), std::string(profile)});
}

bool RemoveRule(AutoRules& rules, std::string_view program)
{
    const auto it = std::find_if(rules.rules.begin(), rules.rules.end(),
                                 [&](const AutoRule& rule) { return SameProgram(rule.program, program); });
    if (it == rules.rules.end()) return false;
    rules.rules.erase(it);
    return true;
}

const AutoRule* FindRule(const AutoRules& rules, std::string_view program)
{
    for (const auto& rule : rules.rules)
        if (SameProgram(rule.program, program)) return &rule;
    return nullptr;
}

}  // namespace zr417
