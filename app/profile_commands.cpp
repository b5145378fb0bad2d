#include "app/profile_commands.h"

#include "config/lighting.h"
#include "config/profile_store.h"
#include "device/identities.h"
#include "device/protocol.h"

#include <algorithm>
#include <array>
#include <system_error>

namespace zr417 {
namespace fs = std::filesystem;

namespace {

constexpr std::string_view kProgramName = "ZR417 RGB Gaming Keyboard";

// The profile store without a window: its rules, no messages, no pauses.
class SilentHost : public ProfileStore::Host {
public:
    bool messageBox(ProfileMessage) override { return false; }
    std::optional<fs::path> chooseFile(ProfileStore::FileChoice, const fs::path&) override { return std::nullopt; }
    void pause(std::chrono::milliseconds) override {}
};

// What a download of the image sends, report by report, as one byte string
// (report ID bytes left out: the protocol sets them itself).
std::vector<std::uint8_t> DownloadBytes(const ConfigImage& image, int model, bool pagesFromSlots)
{
    ConfigImage sent = image;
    std::vector<std::uint8_t> out;
    auto take = [&](std::size_t offset, std::size_t size) {
        out.insert(out.end(), sent.settings.begin() + static_cast<std::ptrdiff_t>(offset),
                   sent.settings.begin() + static_cast<std::ptrdiff_t>(offset + size));
    };
    out.push_back(static_cast<std::uint8_t>((sent.at(settings::WinLock) == 1 ? 1 : 0) |
                                            (sent.at(settings::GameMode) != 1 ? 2 : 0)));
    take(settings::KeyMatrix + 1, settings::KeyMatrixSize - 1);
    for (std::size_t n = 0; n < settings::MacroPageCount; ++n) {
        std::uint8_t* page = sent.settings.data() + settings::MacroPages + settings::PageSize * n;
        if (pagesFromSlots) {
            std::copy_n(
                sent.settings.begin() + static_cast<std::ptrdiff_t>(settings::MacroSlots + settings::MacroSlotSize * n),
                settings::MacroSlotSize, page + 1);
            ConvertMacroDelays(page + 1);
        }
        take(settings::MacroPages + settings::PageSize * n + 1, settings::PageSize - 1);
    }
    for (std::size_t k = 0; k < settings::PicturePageCount; ++k)
        take(settings::PicturePages + settings::PageSize * k + 1, settings::PageSize - 1);
    take(settings::LedGroup6, settings::LedGroupSize);
    // The effect as the keyboard is told it.
    SetMainEffect(sent, ToKeyboard(ModelOf(model), MainEffect(sent)));
    take(settings::LedGroup0, settings::LedGroupSize);
    return out;
}

}  // namespace

std::optional<AppPaths> MainProgramPaths()
{
    const fs::path own = ExecutableDir();
    fs::path programDir = own;
    std::error_code ec;
    if (!fs::exists(own / kProgramName, ec)) {
        fs::path installed = (own / ".." / "lib" / "zr417").lexically_normal();
        if (fs::exists(installed / kProgramName, ec)) programDir = installed;
    }
    return AppPaths::ForExecutableDir(programDir);
}

std::vector<std::string> ListProfiles(const fs::path& profileDir)
{
    KeymapStore unused{fs::path()};
    SilentHost host;
    ProfileStore store(unused, profileDir, profileDir, kLanguageEnglish, host);
    store.FillProfileList();
    return store.rows();
}

std::string FormatProfileList(const std::vector<std::string>& names)
{
    std::string text;
    for (const auto& name : names) text += name + "\n";
    return text;
}

std::optional<std::string> WholeImageProblem(const std::string& what, std::size_t size)
{
    if (size == kImageSize) return std::nullopt;
    if (size == kSettingsSize)
        return what + " is a new, empty profile (" + std::to_string(size) +
               " bytes): it holds no key assignments and would disable every key; load or save it in the program "
               "first";
    return what + " is " + std::to_string(size) + " bytes; a keymap.bin or profile file has exactly " +
           std::to_string(kImageSize);
}

std::variant<ConfigImage, std::string> ReadWholeImage(const fs::path& file, const std::string& what)
{
    // One byte more than an image is enough to know it is too long; its real
    // size then comes from the file system.
    auto bytes = ReadFileBytes(file, kImageSize + 1);
    if (!bytes) return "cannot read " + file.string();
    std::size_t size = bytes->size();
    if (size > kImageSize) {
        std::error_code ec;
        const auto real = fs::file_size(file, ec);
        if (!ec && real > size) size = static_cast<std::size_t>(real);
    }
    if (auto problem = WholeImageProblem(what, size)) return *problem;
    ConfigImage image;
    image.fill(*bytes);
    return image;
}

std::variant<ConfigImage, ProfileOutcome> ReadProfileToApply(const fs::path& profileDir, std::string_view name)
{
    const auto names = ListProfiles(profileDir);
    if (std::find(names.begin(), names.end(), name) == names.end()) {
        std::string text = "no profile named \"" + std::string(name) + "\"";
        text += names.empty() ? " (there are none yet)\n" : "; the profiles are:\n";
        for (const auto& n : names) text += "  " + n + "\n";
        return ProfileOutcome{profile_exit::kUnknownProfile, text};
    }
    const fs::path file = profileDir / ProfileFileName(name);
    auto read = ReadWholeImage(file, "profile \"" + std::string(name) + "\" (" + file.string() + ")");
    if (auto* problem = std::get_if<std::string>(&read))
        return ProfileOutcome{profile_exit::kFileError, *problem + "\n"};
    return std::get<ConfigImage>(read);
}

bool KeyboardAlreadyHolds(const ConfigImage& held, const ConfigImage& profile, int model)
{
    return DownloadBytes(held, model, false) == DownloadBytes(profile, model, true);
}

ProfileOutcome SaveProfile(const fs::path& profileDir, std::string_view name, const ConfigImage& image)
{
    if (!IsValidProfileName(name))
        return {profile_exit::kUsage, "\"" + std::string(name) +
                                          "\" cannot be a profile name (empty, \".\" or \"..\", a \"/\" or \"\\\", "
                                          "or too long)\n"};
    const auto names = ListProfiles(profileDir);
    const bool listed = std::find(names.begin(), names.end(), name) != names.end();
    if (!listed && names.size() >= static_cast<std::size_t>(kMaxProfiles))
        return {profile_exit::kFileError,
                "there are six profiles already, the most the program keeps; save over one of them or delete one "
                "in the program\n"};
    std::error_code ec;
    fs::create_directories(profileDir, ec);
    const fs::path file = profileDir / ProfileFileName(name);
    if (!WriteFileAtomic(file, {image.settings, image.keyTable}))
        return {profile_exit::kFileError, "cannot write " + file.string() + "\n"};
    return {profile_exit::kOk, std::string(listed ? "Saved over profile \"" : "Saved new profile \"") +
                                   std::string(name) + "\" (" + file.string() + ")\n"};
}

}  // namespace zr417
