// zr417ctl: the command-line companion. Each subcommand is one entry of the
// table in zr417ctl.cpp; a new one adds a Command there and its file here.
#pragma once

#include <string>
#include <vector>

namespace zr417::cli {

// Exit codes shared by every subcommand.
enum Exit : int {
    kOk = 0,
    kIncomplete = 1,  // the keyboard did not confirm every step
    kUsage = 2,
    kNoKeyboard = 3,
    kFileError = 4,
    kImageTooBig = 5,  // hex2bin / flash: an address at or above 0xF000
    kUnknownProfile = 6,
    kBusy = 7,          // the running program could not take the request now
    kCannotListen = 8,  // openrgb on: the port is taken (or cannot be had)
};

// Options every subcommand understands (anywhere on the line).
struct Options {
    std::string simulate;  // --simulate MODEL: the persistent simulated keyboard
    bool trace = false;    // --trace: print the protocol's trace lines
    std::string port;      // --port N (openrgb on)
};

struct Command {
    const char* name;
    const char* arguments;  // shown in the usage text
    const char* summary;
    int argumentCount;  // exact number of operands; -1: one or more
    int (*run)(const Options& options, const std::vector<std::string>& operands);
};

// Device subcommands (device_commands.cpp).
int RunInfo(const Options&, const std::vector<std::string>&);
int RunRead(const Options&, const std::vector<std::string>&);
int RunSave(const Options&, const std::vector<std::string>&);
int RunReset(const Options&, const std::vector<std::string>&);

// Firmware subcommands (flash_commands.cpp).
int RunHex2Bin(const Options&, const std::vector<std::string>&);
int RunFlash(const Options&, const std::vector<std::string>&);

// Host-action keys and plug events as they come (listen_commands.cpp).
int RunListen(const Options&, const std::vector<std::string>&);

// Profiles, through the running program or on their own (profile_commands.cpp),
// and the rules of automatic profiles (auto_commands.cpp).
int RunProfile(const Options&, const std::vector<std::string>&);
int RunProfileAuto(const Options&, const std::vector<std::string>&);

// The running program's OpenRGB SDK server (openrgb_commands.cpp).
int RunOpenRgb(const Options&, const std::vector<std::string>&);

// zr417-sim control (sim_commands.cpp).
int RunSim(const Options&, const std::vector<std::string>&);

}  // namespace zr417::cli
