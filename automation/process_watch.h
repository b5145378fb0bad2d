// The user's processes as /proc shows them, read cheaply enough to look once
// a second: each look lists the process folders and reads only what is new.
// A new process's executable, comm name and first argument are read when it
// first shows. While it is young its comm name is looked at again (a
// launcher or a shell often turns into the program it starts by exec soon
// after its start, and an exec changes the name): at every look for its
// first 5 s, then at 10 s and 20 s; it is read again when the name changed.
// After that it costs one directory entry per look that reads the list.
// Processes of other users are passed over, and a process that ends while it
// is being read is skipped, never taken half-read.
#pragma once

#include "automation/process_match.h"

#include <dirent.h>
#include <sys/types.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace zr417 {

// The boot clock (CLOCK_BOOTTIME), the clock /proc gives start times on.
std::chrono::nanoseconds BootClockNow();

class ProcessWatch {
public:
    // `procRoot` is /proc, or a tree laid out like it in tests; `uid` the
    // user whose processes count.
    explicit ProcessWatch(std::filesystem::path procRoot = "/proc", uid_t uid = ::getuid());
    ~ProcessWatch();
    ProcessWatch(const ProcessWatch&) = delete;
    ProcessWatch& operator=(const ProcessWatch&) = delete;

    struct Update {
        std::vector<ProcessInfo> seen;  // new processes, and those that run something else now
        std::vector<int> gone;          // processes that ended since the last look
        bool empty() const { return seen.empty() && gone.empty(); }
    };
    // One look, at `now` on the boot clock. When no process has been started
    // since the last look, the list is not read again; the end of the
    // processes in `watched` is noticed at every look (a zombie counts as
    // ended), that of others at the next look that reads the list.
    Update Scan(std::chrono::nanoseconds now, std::span<const int> watched = {});
    // Forgets every process: the next look reports all of them as new.
    void Reset();
    // The next look reads the whole list.
    void Relist() { relist_ = true; }

    // The user's processes as last read.
    std::vector<ProcessInfo> Processes() const;
    // How many times a process was looked into (for tests and benchmarks).
    std::uint64_t reads() const { return reads_; }

private:
    struct Entry {
        ProcessInfo info;
        bool ours = false;                      // a process of the user
        bool valid = false;                     // info was read whole
        std::chrono::nanoseconds start{0};      // its start on the boot clock
        unsigned long long startTicks = 0;      // the same as /proc gives it
        std::chrono::nanoseconds lastLook{0};   // when it was last read
        std::chrono::nanoseconds nextLook{-1};  // when to read it again; negative: never
        std::uint64_t generation = 0;
    };
    enum class ReadResult { Read, NotOurs, Skipped };
    ReadResult read(const char* name, ProcessInfo& info, unsigned long long& startTicks);
    bool ended(int pid, const Entry& entry) const;
    void schedule(int pid, Entry& entry, std::chrono::nanoseconds now);
    bool due(const Entry& entry, std::chrono::nanoseconds now) const;
    void look(int pid, Entry& entry, bool fresh, std::chrono::nanoseconds now, Update& update);
    std::optional<long> lastPid() const;

    std::filesystem::path procRoot_;
    uid_t uid_;
    DIR* dir_ = nullptr;
    std::unordered_map<int, Entry> entries_;
    std::unordered_set<int> young_;  // the processes still to be looked at again
    std::uint64_t generation_ = 0;
    std::optional<long> listedAt_;  // the last process number when the list was last read
    bool relist_ = true;
    std::uint64_t reads_ = 0;
};

}  // namespace zr417
