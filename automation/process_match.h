// What a rule's program is matched against: a process as /proc shows it.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace zr417 {

struct ProcessInfo {
    int pid = 0;
    std::string exe;       // full path of its executable; empty when it may not be read
    std::string comm;      // the kernel's name for it (at most 15 bytes)
    std::string firstArg;  // its first command-line argument
    // Since when, on the boot clock, it has been running what it runs now:
    // its start, or the last look that found it running something else.
    std::chrono::nanoseconds since{0};
    bool operator==(const ProcessInfo&) const = default;
};

// Whether `program` (a rule's) names the process: with a '/' by the full
// path of its executable; else by the executable's file name, by its comm
// name (which the kernel cuts to 15 bytes), or, for a Windows program under
// Wine or Proton, by the last element of its first argument split at '\'
// and '/' ("Z:\Games\Fly\flight.exe" gives "flight.exe"), or with a '\'
// by that whole argument. Names ending in ".exe" match in any case.
bool ProgramMatches(std::string_view program, const ProcessInfo& process);

}  // namespace zr417
