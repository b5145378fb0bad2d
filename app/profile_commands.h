// Profiles from outside the window (zr417ctl profile list / apply / save):
// the rules both the running program and zr417ctl on its own follow, so a
// profile applied either way is checked, compared and stored alike.
#pragma once

#include "config/image.h"
#include "platform/files.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace zr417 {

// zr417ctl's exit codes for the profile commands (cli/cli.h keeps the same).
namespace profile_exit {
constexpr int kOk = 0;
constexpr int kIncomplete = 1;  // the keyboard did not confirm every step
constexpr int kUsage = 2;
constexpr int kNoKeyboard = 3;
constexpr int kFileError = 4;
constexpr int kUnknownProfile = 6;
constexpr int kBusy = 7;  // the running program cannot take it now
}  // namespace profile_exit

struct ProfileOutcome {
    int exitCode = profile_exit::kOk;
    std::string text;  // one or more lines, each ending in '\n'
};

// The main program's folders as zr417ctl finds them: the program folder is
// zr417ctl's own (a build tree) or ../lib/zr417 beside it (an installed copy).
// nullopt when the settings would need a data folder the account lacks.
std::optional<AppPaths> MainProgramPaths();

// The profiles as the profile manager lists them (the first six by name).
std::vector<std::string> ListProfiles(const std::filesystem::path& profileDir);
std::string FormatProfileList(const std::vector<std::string>& names);

// Why `size` bytes are no whole configuration image; nullopt when they are.
// `what` names the file in the text.
std::optional<std::string> WholeImageProblem(const std::string& what, std::size_t size);

// `file` when it holds exactly one configuration image; otherwise why not
// (a file that cannot be read, or WholeImageProblem with the file's real
// size), with `what` naming the file in the text.
std::variant<ConfigImage, std::string> ReadWholeImage(const std::filesystem::path& file, const std::string& what);

// Profile `name` as it would be applied. Refused: a name not listed (the
// text lists those that are), a file that cannot be read, and one that is
// not exactly one image (a New profile never saved, a cut or grown file).
std::variant<ConfigImage, ProfileOutcome> ReadProfileToApply(const std::filesystem::path& profileDir,
                                                             std::string_view name);

// Whether a download of `profile` would send the keyboard of `model` only
// what it holds already: `held` as its regions were last read from it or
// sent to it (macro pages as sent, not as edited in the macro slots).
bool KeyboardAlreadyHolds(const ConfigImage& held, const ConfigImage& profile, int model);

// Writes `image` as profile `name`, a new one or over the listed one of that
// name; refuses names that are no file names and a seventh profile.
ProfileOutcome SaveProfile(const std::filesystem::path& profileDir, std::string_view name, const ConfigImage& image);

}  // namespace zr417
