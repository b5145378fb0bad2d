#include "automation/auto_commands.h"

#include <algorithm>

namespace zr417 {
namespace {

constexpr std::string_view kLinePrefix = "profile auto";

struct Word {
    AutoRequest::Kind kind;
    std::string_view name;
    std::size_t operands;
};
constexpr Word kWords[] = {
    {AutoRequest::Kind::List, "list", 0},     {AutoRequest::Kind::Add, "add", 2},
    {AutoRequest::Kind::Remove, "remove", 1}, {AutoRequest::Kind::Default, "default", 1},
    {AutoRequest::Kind::On, "on", 0},         {AutoRequest::Kind::Off, "off", 0},
};

std::string Quoted(std::string_view s)
{
    return "\"" + std::string(s) + "\"";
}

bool Listed(const std::vector<std::string>& profiles, std::string_view name)
{
    return std::find(profiles.begin(), profiles.end(), name) != profiles.end();
}

std::string ProfileNames(const std::vector<std::string>& profiles)
{
    if (profiles.empty()) return "there are no profiles\n";
    std::string text = "the profiles are:";
    for (const auto& p : profiles) text += " " + Quoted(p);
    return text + "\n";
}

}  // namespace

std::variant<AutoRequest, AutoOutcome> ParseAutoRequest(const std::vector<std::string>& words)
{
    const Word* word = nullptr;
    if (!words.empty())
        for (const auto& w : kWords)
            if (words[0] == w.name) word = &w;
    if (!word || words.size() != word->operands + 1) return AutoOutcome{auto_exit::kUsage, std::string(kAutoUsage)};
    AutoRequest request;
    request.kind = word->kind;
    switch (request.kind) {
        case AutoRequest::Kind::Add:
        case AutoRequest::Kind::Remove:
            request.program = words[1];
            if (auto problem = ProgramProblem(request.program)) return AutoOutcome{auto_exit::kUsage, *problem + "\n"};
            if (request.kind == AutoRequest::Kind::Remove) break;
            request.profile = words[2];
            if (auto problem = RuleProfileProblem(request.profile))
                return AutoOutcome{auto_exit::kUsage, *problem + "\n"};
            break;
        case AutoRequest::Kind::Default:
            if (words[1] != "none") {
                request.profile = words[1];
                if (auto problem = RuleProfileProblem(request.profile))
                    return AutoOutcome{auto_exit::kUsage, *problem + "\n"};
            }
            break;
        default:
            break;
    }
    return request;
}

std::string EncodeAutoRequest(const AutoRequest& request)
{
    std::string line(kLinePrefix);
    for (const auto& w : kWords)
        if (w.kind == request.kind) line += "\t" + std::string(w.name);
    switch (request.kind) {
        case AutoRequest::Kind::Add:
            return line + "\t" + request.program + "\t" + request.profile;
        case AutoRequest::Kind::Remove:
            return line + "\t" + request.program;
        case AutoRequest::Kind::Default:
            return line + "\t" + (request.profile.empty() ? std::string("none") : request.profile);
        default:
            return line;
    }
}

bool IsAutoRequestLine(std::string_view line)
{
    return line.substr(0, kLinePrefix.size()) == kLinePrefix &&
           (line.size() == kLinePrefix.size() || line[kLinePrefix.size()] == '\t');
}

std::optional<AutoRequest> DecodeAutoRequest(std::string_view line)
{
    if (!IsAutoRequestLine(line)) return std::nullopt;
    std::vector<std::string> words;
    std::size_t pos = kLinePrefix.size();
    while (pos < line.size()) {
        const std::size_t end = std::min(line.find('\t', pos + 1), line.size());
        words.emplace_back(line.substr(pos + 1, end - pos - 1));
        pos = end;
    }
    auto parsed = ParseAutoRequest(words);
    if (auto* request = std::get_if<AutoRequest>(&parsed)) return *request;
    return std::nullopt;
}

std::string FormatAutoRulesList(const AutoRules& rules, const std::vector<std::string>& profiles)
{
    auto profile = [&](const std::string& name) {
        return Quoted(name) + (Listed(profiles, name) ? "" : " (no such profile: switches nothing)");
    };
    std::string text = "Automatic profiles: " + std::string(rules.enabled ? "on" : "off") + "\n";
    text += "Default profile: " +
            (rules.defaultProfile.empty() ? std::string("none (the keyboard keeps its profile)")
                                          : profile(rules.defaultProfile)) +
            "\n";
    if (rules.rules.empty()) text += "No rules.\n";
    for (const auto& rule : rules.rules) text += Quoted(rule.program) + " -> " + profile(rule.profile) + "\n";
    return text;
}

AutoOutcome RunAutoRequest(const AutoRequest& request, const std::filesystem::path& file,
                           const std::vector<std::string>& profiles, AutoRules* after)
{
    auto loaded = LoadAutoRules(file);
    if (auto* why = std::get_if<std::string>(&loaded)) {
        const bool edit = request.kind != AutoRequest::Kind::List;
        return {auto_exit::kFileError, *why + (edit ? "; nothing was changed (mend the file or remove it)\n" : "\n")};
    }
    AutoRules rules = std::get<AutoRules>(loaded);
    if (after) *after = rules;
    const AutoRules before = rules;
    std::string said;
    switch (request.kind) {
        case AutoRequest::Kind::List:
            return {auto_exit::kOk, FormatAutoRulesList(rules, profiles)};
        case AutoRequest::Kind::Add:
        case AutoRequest::Kind::Default:
            if (!request.profile.empty() && !Listed(profiles, request.profile))
                return {auto_exit::kUnknown,
                        "no profile is named " + Quoted(request.profile) + "; " + ProfileNames(profiles)};
            if (request.kind == AutoRequest::Kind::Add) {
                AddRule(rules, request.program, request.profile);
                said = "While " + Quoted(request.program) + " runs, the keyboard takes profile " +
                       Quoted(request.profile) + "\n";
            } else {
                rules.defaultProfile = request.profile;
                said = request.profile.empty() ? "No default profile: the keyboard keeps its profile when none of "
                                                 "the programs runs\n"
                                               : "Default profile: " + Quoted(request.profile) + "\n";
            }
            break;
        case AutoRequest::Kind::Remove:
            if (!RemoveRule(rules, request.program))
                return {auto_exit::kUnknown, "no rule names the program " + Quoted(request.program) + "\n"};
            said = "Removed the rule of " + Quoted(request.program) + "\n";
            break;
        case AutoRequest::Kind::On:
        case AutoRequest::Kind::Off:
            rules.enabled = request.kind == AutoRequest::Kind::On;
            said = std::string("Automatic profiles are ") + (rules.enabled ? "on" : "off") + "\n";
            break;
    }
    std::string error;
    if (rules != before && !SaveAutoRules(file, rules, &error))
        return {auto_exit::kFileError, error + "; nothing was changed\n"};
    if (after) *after = rules;
    return {auto_exit::kOk, said};
}

}  // namespace zr417
