// profile list / apply NAME / save NAME. While the main program runs it owns
// the keyboard: zr417ctl asks it through its socket, and it applies the
// profile through its window, so the window, keymap.bin and the keyboard
// agree. Without it, zr417ctl does the same on its own: the same profile
// folder and rules, the same download, and keymap.bin written as Save
// writes it.
#include "app/profile_commands.h"
#include "app/main_logic.h"
#include "cli/cli.h"
#include "device/device_link.h"
#include "device/identities.h"
#include "device/protocol.h"
#include "platform/files.h"
#include "platform/hid_bus_factory.h"
#include "platform/instance_link.h"

#include <cstdio>
#include <memory>
#include <variant>

namespace zr417::cli {
namespace {

static_assert(kOk == profile_exit::kOk && kIncomplete == profile_exit::kIncomplete && kUsage == profile_exit::kUsage &&
              kNoKeyboard == profile_exit::kNoKeyboard && kFileError == profile_exit::kFileError &&
              kUnknownProfile == profile_exit::kUnknownProfile && kBusy == profile_exit::kBusy);

int Report(const ProfileOutcome& outcome)
{
    std::FILE* out = outcome.exitCode == kOk ? stdout : stderr;
    if (outcome.exitCode != kOk && !outcome.text.empty()) std::fputs("zr417ctl: profile: ", out);
    std::fputs(outcome.text.c_str(), out);
    return outcome.exitCode;
}

std::string ModelName(int model)
{
    for (const auto& id : g_keyboardIdentities)
        if (id.model == model) return std::string(id.name);
    return "ZR417";
}

// The keyboard, opened for this run only.
struct Keyboard {
    std::unique_ptr<hid::Bus> bus;
    std::unique_ptr<DeviceLink> link;
    ConfigImage image;
    std::unique_ptr<KeyboardProtocol> protocol;
};

std::optional<ProfileOutcome> Open(const Options& options, Keyboard& k)
{
    std::string error;
    k.bus = options.simulate.empty() ? CreateHidBus(&error) : CreateHidBus(options.simulate, &error);
    if (!k.bus) return ProfileOutcome{kUsage, error + "\n"};
    k.link = std::make_unique<DeviceLink>(*k.bus, DeviceLink::Events{});
    k.link->OpenDeviceHandles();
    if (!k.link->g_hCommandDev())
        return ProfileOutcome{kNoKeyboard,
                              "no ZR417 keyboard found (is it plugged in, and may this user open its "
                              "hidraw nodes? --simulate MODEL uses the simulated one)\n"};
    k.protocol = std::make_unique<KeyboardProtocol>(*k.link, k.image);
    return std::nullopt;
}

ProfileOutcome ApplyAlone(const Options& options, const AppPaths& paths, const std::string& name)
{
    // The file is checked before the keyboard is touched.
    auto read = ReadProfileToApply(paths.profileDir(), name);
    if (auto* refused = std::get_if<ProfileOutcome>(&read)) return *refused;
    const ConfigImage& profile = std::get<ConfigImage>(read);
    Keyboard k;
    if (auto failed = Open(options, k)) return *failed;
    // What the keyboard holds, so that only what differs goes out.
    KeyboardContents contents;
    k.protocol->TrackContents(&contents);
    k.protocol->ReadEverything();
    const int model = k.link->g_nModel();
    if (k.protocol->failures() > 0)
        return {kIncomplete, "the " + ModelName(model) + " keyboard did not answer every read; nothing was sent\n"};
    k.image = profile;
    const bool held = k.protocol->Hold() == 0;
    // keymap.bin as the program's Save leaves it, so the program starts with
    // the profile's key table (its host actions) too.
    const bool keymapCurrent = [&] {
        auto old = ReadFileBytes(paths.keymapFile(), kImageSize + 1);
        return old && old->size() == kImageSize &&
               std::equal(k.image.settings.begin(), k.image.settings.end(), old->begin()) &&
               std::equal(k.image.keyTable.begin(), k.image.keyTable.end(), old->begin() + kSettingsSize);
    }();
    if (!keymapCurrent) {
        auto written = WriteFileAtomic(paths.keymapFile(), {k.image.settings, k.image.keyTable});
        if (!written)
            return {kFileError, "the keyboard holds profile \"" + name + "\", but " + paths.keymapFile().string() +
                                    " could not be written: " + WriteFailureCause(written.error, kLanguageEnglish) +
                                    "\n"};
    }
    if (int failed = k.protocol->failures())
        return {kIncomplete, "profile \"" + name + "\": the " + ModelName(model) + " keyboard did not confirm " +
                                 std::to_string(failed) + " step(s)\n"};
    if (held)
        return {kOk,
                "The " + ModelName(model) + " keyboard holds profile \"" + name + "\" already; nothing was sent\n"};
    return {kOk, "Applied profile \"" + name + "\" to the " + ModelName(model) + " keyboard\n"};
}

ProfileOutcome SaveAlone(const Options& options, const AppPaths& paths, const std::string& name)
{
    Keyboard k;
    if (auto failed = Open(options, k)) return *failed;
    // The key table (host actions) and the macro slots are the program's, in
    // keymap.bin; everything else comes from the keyboard.
    KeymapStore keys(paths.keymapFile());
    // keymap.bin as it is; a missing one is not made here.
    if (auto keymap = ReadFileBytes(paths.keymapFile(), kImageSize)) keys.current().fill(*keymap);
    keys.RefreshKeyCodes();  // every key's own code, as after a load of keymap.bin
    k.image = keys.current();
    k.protocol->ReadEverything();
    if (int failed = k.protocol->failures())
        return {kIncomplete, "the keyboard did not answer " + std::to_string(failed) + " read(s); nothing was saved\n"};
    return SaveProfile(paths.profileDir(), name, k.image);
}

}  // namespace

int RunProfile(const Options& options, const std::vector<std::string>& operands)
{
    const std::string& what = operands[0];
    if (what == "auto") return RunProfileAuto(options, operands);
    const bool named = what == "apply" || what == "save";
    if (!(what == "list" && operands.size() == 1) && !(named && operands.size() == 2)) {
        std::fprintf(stderr,
                     "usage: zr417ctl profile list | profile apply NAME | profile save NAME | profile auto ...\n");
        return kUsage;
    }
    std::string request = "profile " + what;
    if (named) {
        // One line carries the request: a name is never more than one line.
        if (operands[1].find_first_of("\r\n") != std::string::npos)
            return Report({kUsage, "a profile name is one line\n"});
        request += " " + operands[1];
    }

    InstanceReply reply;
    std::string error;
    switch (AskMainProgram(request, &reply, &error)) {
        case AskResult::Answered:
            return Report({reply.exitCode, reply.text});
        case AskResult::Failed:
            return Report({kBusy, error + "\n"});
        case AskResult::NotRunning:
            break;
    }
    const auto found = MainProgramPaths();
    if (!found) return Report({kFileError, "the account has no home folder for the program's settings\n"});
    const AppPaths& paths = *found;
    if (what == "list") return Report({kOk, FormatProfileList(ListProfiles(paths.profileDir()))});
    if (what == "apply") return Report(ApplyAlone(options, paths, operands[1]));
    return Report(SaveAlone(options, paths, operands[1]));
}

}  // namespace zr417::cli
