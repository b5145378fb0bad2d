// zr417ctl openrgb: switches the main program's OpenRGB SDK server on or off,
// or tells its state. The server lives in the running program (it owns the
// keyboard), so every request goes there; the program keeps the choice.
#include "cli/cli.h"
#include "platform/instance_link.h"

#include <cstdio>

namespace zr417::cli {

int RunOpenRgb(const Options& options, const std::vector<std::string>& operands)
{
    const std::string& what = operands[0];
    const bool valid =
        operands.size() == 1 && (what == "on" || ((what == "off" || what == "status") && options.port.empty()));
    if (!valid) {
        std::fprintf(stderr, "usage: zr417ctl openrgb on [--port N] | openrgb off | openrgb status\n");
        return kUsage;
    }
    std::string request = "openrgb " + what;
    if (!options.port.empty()) {
        if (options.port.find_first_not_of("0123456789") != std::string::npos || options.port.size() > 5) {
            std::fprintf(stderr, "zr417ctl: openrgb: a port is a number from 1 to 65535\n");
            return kUsage;
        }
        request += " " + options.port;
    }
    InstanceReply reply;
    std::string error;
    switch (AskMainProgram(request, &reply, &error)) {
        case AskResult::Answered: {
            std::FILE* out = reply.exitCode == kOk ? stdout : stderr;
            if (reply.exitCode != kOk) std::fputs("zr417ctl: openrgb: ", out);
            std::fputs(reply.text.c_str(), out);
            return reply.exitCode;
        }
        case AskResult::Failed:
            std::fprintf(stderr, "zr417ctl: openrgb: %s\n", error.c_str());
            return kBusy;
        case AskResult::NotRunning:
            break;
    }
    if (what == "status") {
        std::printf("OpenRGB SDK server off: ZR417 RGB Gaming Keyboard is not running\n");
        return kOk;
    }
    std::fprintf(stderr,
                 "zr417ctl: openrgb: ZR417 RGB Gaming Keyboard is not running; the server runs inside it. Start it, "
                 "then try again\n");
    return kBusy;
}

}  // namespace zr417::cli
