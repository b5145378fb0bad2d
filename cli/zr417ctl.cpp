#include "cli/cli.h"
#include "platform/files.h"
#include "platform/trace.h"

#include <cstdio>
#include <cstring>
#include <string_view>

namespace zr417::cli {
namespace {

const Command g_commands[] = {
    {"info", "", "show the keyboard's model, firmware version and status flags", 0, RunInfo},
    {"read", "FILE", "read the keyboard into a configuration image file (keymap.bin format)", 1, RunRead},
    {"save", "FILE", "write a keymap.bin or profile file into the keyboard", 1, RunSave},
    {"reset", "", "restore the keyboard's factory settings", 0, RunReset},
    {"profile", "list|apply NAME|save NAME|auto ...",
     "list the profiles, apply one to the keyboard, or save the keyboard's settings as one; \"profile auto\" "
     "lists and edits the automatic profiles: list, add PROGRAM PROFILE, remove PROGRAM, default PROFILE|none, "
     "on, off (all through the running program when it runs)",
     -1, RunProfile},
    {"openrgb", "on [--port N]|off|status",
     "switch the running program's OpenRGB SDK server on (port 6742 unless given) or off, or show its state", 1,
     RunOpenRgb},
    {"hex2bin", "FILE", "convert an Intel HEX firmware file into its flat image FILE.bin", 1, RunHex2Bin},
    {"flash", "FILE", "burn firmware (HEX or .bin) into every keyboard at once; --simulate N: N bootloaders", 1,
     RunFlash},
    {"listen", "", "print host-action keys and plugging as the program sees them, until Ctrl-C", 0, RunListen},
    {"sim", "COMMAND [ARGS]", "control zr417-sim: list, plug, unplug, replug, press, version (zr417ctl sim help)", -1,
     RunSim},
};

void usage(std::FILE* out)
{
    std::fprintf(out, "usage: zr417ctl [--simulate MODEL] [--trace] [--] COMMAND [ARGS]\n\ncommands:\n");
    for (const auto& c : g_commands) {
        std::string head = std::string(c.name) + (*c.arguments ? " " : "") + c.arguments;
        std::fprintf(out, "  %-14s %s\n", head.c_str(), c.summary);
    }
    std::fprintf(out,
                 "\noptions:\n"
                 "  --simulate MODEL  use the simulated keyboard QV310, QV420 or OEM (its memory is kept\n"
                 "                    between runs); ZR417_SIMULATE does the same\n"
                 "  --trace           print the protocol's trace lines\n"
                 "  --                the options end here: later words are taken as they are, so a\n"
                 "                    profile or file name may begin with \"-\"\n"
                 "\nexit codes: 0 done, 1 the keyboard did not confirm every step, 2 wrong usage, 3 no keyboard,\n"
                 "  4 a file that cannot be read, written or used, 5 a firmware image too large,\n"
                 "  6 no such profile, 7 the running program cannot take the request now (or does not run),\n"
                 "  8 the OpenRGB SDK server cannot listen on that port\n");
}

int run(int argc, char** argv)
{
    Options options;
    std::vector<std::string> words;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        std::string_view a = argv[i];
        if (optionsEnded) {
            words.emplace_back(a);
        } else if (a == "--") {
            optionsEnded = true;
        } else if (a == "--simulate") {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "zr417ctl: --simulate needs a model (QV310, QV420 or OEM)\n");
                return kUsage;
            }
            options.simulate = argv[++i];
        } else if (a.rfind("--simulate=", 0) == 0) {
            options.simulate = std::string(a.substr(11));
        } else if (a == "--port" && i + 1 < argc) {
            options.port = argv[++i];
        } else if (a.rfind("--port=", 0) == 0) {
            options.port = std::string(a.substr(7));
        } else if (a == "--trace") {
            options.trace = true;
        } else if (a == "-h" || a == "--help") {
            usage(stdout);
            return kOk;
        } else if (a.size() > 1 && a[0] == '-') {
            std::fprintf(stderr, "zr417ctl: unknown option %s\n", argv[i]);
            return kUsage;
        } else {
            words.emplace_back(a);
        }
    }
    if (words.empty()) {
        usage(stderr);
        return kUsage;
    }
    for (const auto& c : g_commands) {
        if (words[0] != c.name) continue;
        if (!options.port.empty() && words[0] != "openrgb") {
            std::fprintf(stderr, "zr417ctl: --port belongs to \"openrgb on\"\n");
            return kUsage;
        }
        std::vector<std::string> operands(words.begin() + 1, words.end());
        const bool countOk =
            c.argumentCount < 0 ? !operands.empty() : static_cast<int>(operands.size()) == c.argumentCount;
        if (!countOk) {
            std::fprintf(stderr, "usage: zr417ctl %s %s\n", c.name, c.arguments);
            return kUsage;
        }
        if (options.trace)
            SetTraceSink([](std::string_view line) {
                std::fwrite(line.data(), 1, line.size(), stdout);
                std::fflush(stdout);
            });
        return c.run(options, operands);
    }
    std::fprintf(stderr, "zr417ctl: unknown command \"%s\"\n", words[0].c_str());
    usage(stderr);
    return kUsage;
}

}  // namespace
}  // namespace zr417::cli

int main(int argc, char** argv)
{
    zr417::SurviveFileSizeLimit();
    return zr417::cli::run(argc, argv);
}
