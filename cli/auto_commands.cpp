// profile auto list | add | remove | default | on | off. While the main
// program runs it owns the rules (its watch takes new ones at once): the
// request goes to it. Without it, zr417ctl edits the rules file itself.
#include "automation/auto_commands.h"
#include "app/profile_commands.h"
#include "cli/cli.h"
#include "platform/instance_link.h"

#include <cstdio>

namespace zr417::cli {
namespace {

static_assert(kOk == auto_exit::kOk && kUsage == auto_exit::kUsage && kFileError == auto_exit::kFileError &&
              kUnknownProfile == auto_exit::kUnknown);

int Report(int exitCode, const std::string& text)
{
    std::FILE* out = exitCode == kOk ? stdout : stderr;
    if (exitCode != kOk && !text.empty() && text.rfind("usage:", 0) != 0) std::fputs("zr417ctl: profile auto: ", out);
    std::fputs(text.c_str(), out);
    return exitCode;
}

}  // namespace

int RunProfileAuto(const Options&, const std::vector<std::string>& operands)
{
    auto parsed = ParseAutoRequest(std::vector<std::string>(operands.begin() + 1, operands.end()));
    if (auto* refused = std::get_if<AutoOutcome>(&parsed)) return Report(refused->exitCode, refused->text);
    const AutoRequest& request = std::get<AutoRequest>(parsed);

    InstanceReply reply;
    std::string error;
    switch (AskMainProgram(EncodeAutoRequest(request), &reply, &error)) {
        case AskResult::Answered:
            return Report(reply.exitCode, reply.text);
        case AskResult::Failed:
            return Report(kBusy, error + "\n");
        case AskResult::NotRunning:
            break;
    }
    const auto file = AutoRulesFile();
    const auto paths = MainProgramPaths();
    if (!file || !paths) return Report(kFileError, "the account has no home folder for the program's settings\n");
    AutoOutcome outcome = RunAutoRequest(request, *file, ListProfiles(paths->profileDir()));
    return Report(outcome.exitCode, outcome.text);
}

}  // namespace zr417::cli
