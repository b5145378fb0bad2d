#include "automation/process_watch.h"

#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace zr417 {
namespace {

using std::chrono::nanoseconds;
using namespace std::chrono_literals;

// A young process is looked at again at every look during its first
// seconds, when launchers turn into what they start, then twice more.
constexpr nanoseconds kEveryLook = 5s;
constexpr nanoseconds kLateLooks[] = {10s, 20s};
constexpr nanoseconds kLookGap = 1s;
// Looks come about a second apart; one a little early still counts.
constexpr nanoseconds kSlack = 150ms;
constexpr std::size_t kMaxSmallFile = 4096;  // comm, stat, status, the head of cmdline

// Reads up to kMaxSmallFile bytes of `name` in the folder `dir`; nullopt when
// it cannot be opened or read (the process ended).
std::optional<std::string> ReadSmall(int dir, const char* name)
{
    int fd = ::openat(dir, name, O_RDONLY | O_CLOEXEC | O_NOFOLLOW);  // a name, or PID/name
    if (fd < 0) return std::nullopt;
    std::string text(kMaxSmallFile, '\0');
    const long got = ReadUpTo(fd, text.data(), text.size());
    ::close(fd);
    if (got < 0) return std::nullopt;
    text.resize(static_cast<std::size_t>(got));
    return text;
}

// Field 22 of /proc/PID/stat, the start in clock ticks since boot. The name
// in field 2 may hold blanks and parentheses, so fields count from the last ')'.
std::optional<unsigned long long> StartTicks(const std::string& stat)
{
    const auto close = stat.rfind(')');
    if (close == std::string::npos) return std::nullopt;
    std::size_t pos = close + 1;
    for (int field = 3; field <= 22; ++field) {
        while (pos < stat.size() && stat[pos] == ' ') ++pos;
        if (pos >= stat.size()) return std::nullopt;
        if (field == 22) {
            unsigned long long value = 0;
            bool any = false;
            for (; pos < stat.size() && stat[pos] >= '0' && stat[pos] <= '9'; ++pos, any = true)
                value = value * 10 + static_cast<unsigned>(stat[pos] - '0');
            return any ? std::optional(value) : std::nullopt;
        }
        while (pos < stat.size() && stat[pos] != ' ') ++pos;
    }
    return std::nullopt;
}

// The real user of a process, from the "Uid:" line of its status.
std::optional<uid_t> RealUid(int dir)
{
    auto status = ReadSmall(dir, "status");
    if (!status) return std::nullopt;
    const auto at = status->find("\nUid:");
    if (at == std::string::npos) return std::nullopt;
    std::size_t pos = at + 5;
    while (pos < status->size() && ((*status)[pos] == '\t' || (*status)[pos] == ' ')) ++pos;
    unsigned long value = 0;
    bool any = false;
    for (; pos < status->size() && (*status)[pos] >= '0' && (*status)[pos] <= '9'; ++pos, any = true)
        value = value * 10 + static_cast<unsigned>((*status)[pos] - '0');
    return any ? std::optional(static_cast<uid_t>(value)) : std::nullopt;
}

std::optional<int> PidOf(const char* name)
{
    if (*name < '1' || *name > '9') return std::nullopt;
    long value = 0;
    for (const char* p = name; *p; ++p) {
        if (*p < '0' || *p > '9' || value > 100'000'000) return std::nullopt;
        value = value * 10 + (*p - '0');
    }
    return static_cast<int>(value);
}

}  // namespace

nanoseconds BootClockNow()
{
    timespec ts{};
    ::clock_gettime(CLOCK_BOOTTIME, &ts);
    return std::chrono::seconds(ts.tv_sec) + nanoseconds(ts.tv_nsec);
}

ProcessWatch::ProcessWatch(std::filesystem::path procRoot, uid_t uid) : procRoot_(std::move(procRoot)), uid_(uid) {}

ProcessWatch::~ProcessWatch()
{
    if (dir_) ::closedir(dir_);
}

void ProcessWatch::Reset()
{
    entries_.clear();
    young_.clear();
    relist_ = true;
}

ProcessWatch::ReadResult ProcessWatch::read(const char* name, ProcessInfo& info, unsigned long long& startTicks)
{
    // Everything is read through one handle on the process's folder: should
    // the number be taken by a new process meanwhile, the reads fail instead
    // of mixing two processes.
    int dir = ::openat(::dirfd(dir_), name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return ReadResult::Skipped;
    ++reads_;
    auto result = [&]() {
        struct stat st {};
        if (::fstat(dir, &st) != 0) return ReadResult::Skipped;
        // A process that may not be looked into (set-user-ID, or one that
        // made itself so) shows as root's; its status tells its real user.
        if (st.st_uid != uid_) {
            if (st.st_uid != 0) return ReadResult::NotOurs;
            auto real = RealUid(dir);
            if (!real) return ReadResult::Skipped;
            if (*real != uid_) return ReadResult::NotOurs;
        }
        auto stat = ReadSmall(dir, "stat");
        auto ticks = stat ? StartTicks(*stat) : std::nullopt;
        if (!ticks) return ReadResult::Skipped;
        startTicks = *ticks;

        char target[4096];
        ssize_t n = ::readlinkat(dir, "exe", target, sizeof target);
        if (n >= 0) {
            info.exe.assign(target, static_cast<std::size_t>(std::min<ssize_t>(n, sizeof target)));
            // The kernel marks an executable replaced on disk since the start.
            constexpr std::string_view kDeleted = " (deleted)";
            if (info.exe.size() > kDeleted.size() && info.exe.ends_with(kDeleted))
                info.exe.resize(info.exe.size() - kDeleted.size());
        } else if (errno != EACCES && errno != EPERM) {
            return ReadResult::Skipped;  // ended, a zombie, or a kernel thread
        }
        auto comm = ReadSmall(dir, "comm");
        if (!comm) return ReadResult::Skipped;
        if (!comm->empty() && comm->back() == '\n') comm->pop_back();
        info.comm = std::move(*comm);
        // Read last: empty once the process has ended, so nothing read above
        // belongs to a process that was gone before its command line was.
        auto cmdline = ReadSmall(dir, "cmdline");
        if (!cmdline || cmdline->empty()) return ReadResult::Skipped;
        info.firstArg = cmdline->substr(0, cmdline->find('\0'));
        return ReadResult::Read;
    }();
    ::close(dir);
    return result;
}

void ProcessWatch::schedule(int pid, Entry& entry, nanoseconds now)
{
    const nanoseconds age = now - entry.start;
    entry.nextLook = nanoseconds(-1);
    if (age < kEveryLook) {
        entry.nextLook = now + kLookGap;
    } else {
        for (nanoseconds late : kLateLooks)
            if (age + kSlack < late) {
                entry.nextLook = entry.start + late;
                break;
            }
    }
    if (entry.nextLook.count() >= 0)
        young_.insert(pid);
    else
        young_.erase(pid);
}

bool ProcessWatch::due(const Entry& entry, nanoseconds now) const
{
    return entry.ours && entry.nextLook.count() >= 0 && now + kSlack >= entry.nextLook;
}

void ProcessWatch::look(int pid, Entry& entry, bool fresh, nanoseconds now, Update& update)
{
    const std::string name = std::to_string(pid);
    // A young process is looked at again by its comm name alone, which an
    // exec changes: only then is it read again.
    if (!fresh && entry.valid) {
        ++reads_;
        auto comm = ReadSmall(::dirfd(dir_), (name + "/comm").c_str());
        if (comm && !comm->empty() && comm->back() == '\n') comm->pop_back();
        if (!comm || *comm == entry.info.comm) {
            entry.lastLook = now;
            schedule(pid, entry, now);
            return;
        }
    }

    ProcessInfo info;
    info.pid = pid;
    unsigned long long ticks = 0;
    const ReadResult result = read(name.c_str(), info, ticks);
    static const long perSecond = std::max(1L, ::sysconf(_SC_CLK_TCK));
    const nanoseconds start(
        static_cast<long long>(ticks * 1'000'000'000ULL / static_cast<unsigned long long>(perSecond)));
    if (result == ReadResult::NotOurs) {
        if (entry.valid) update.gone.push_back(pid);
        const auto generation = entry.generation;
        entry = Entry{};
        entry.generation = generation;
        young_.erase(pid);
        return;
    }
    entry.ours = true;
    if (result == ReadResult::Read) {
        const bool changed = !entry.valid || info.exe != entry.info.exe || info.comm != entry.info.comm ||
                             info.firstArg != entry.info.firstArg;
        if (changed) {
            // Seen first: it has run this since its start. Seen before
            // running something else: since that look, or, when that was
            // long ago, since about a look's gap ago.
            info.since = fresh ? std::min(start, now) : std::max(entry.lastLook, now - kLookGap);
            entry.info = info;
            entry.valid = true;
            update.seen.push_back(info);
        }
        entry.start = start;
        entry.startTicks = ticks;
    } else if (fresh) {
        entry.start = now;  // unknown; count its youth from now
    }
    entry.lastLook = now;
    schedule(pid, entry, now);
}

std::optional<long> ProcessWatch::lastPid() const
{
    // The fifth field of loadavg is the process number given out last.
    auto text = ReadSmall(::dirfd(dir_), "loadavg");
    if (!text) return std::nullopt;
    const auto cut = text->find_last_of(' ');
    if (cut == std::string::npos) return std::nullopt;
    char* end = nullptr;
    const long value = std::strtol(text->c_str() + cut + 1, &end, 10);
    if (end == text->c_str() + cut + 1) return std::nullopt;
    return value;
}

ProcessWatch::Update ProcessWatch::Scan(nanoseconds now, std::span<const int> watched)
{
    Update update;
    if (!dir_) {
        dir_ = ::opendir(procRoot_.c_str());
        if (!dir_) return update;
    }
    // No process number given out since the last listing: no process is
    // new, so the list need not be read; the few whose end matters are
    // looked up one by one (no number can have been taken again meanwhile).
    const auto last = lastPid();
    if (last && listedAt_ == last && !relist_) {
        const std::vector<int> young(young_.begin(), young_.end());
        for (int pid : young) {
            auto it = entries_.find(pid);
            if (it != entries_.end() && due(it->second, now)) look(pid, it->second, false, now, update);
        }
    } else {
        relist_ = false;
        listedAt_ = last;
        ::rewinddir(dir_);
        ++generation_;
        while (const dirent* e = ::readdir(dir_)) {
            const auto pid = PidOf(e->d_name);
            if (!pid) continue;
            auto [it, fresh] = entries_.try_emplace(*pid);
            Entry& entry = it->second;
            entry.generation = generation_;
            if (fresh || due(entry, now)) look(*pid, entry, fresh, now, update);
        }
        for (auto it = entries_.begin(); it != entries_.end();) {
            if (it->second.generation == generation_) {
                ++it;
                continue;
            }
            if (it->second.valid) update.gone.push_back(it->first);
            young_.erase(it->first);
            it = entries_.erase(it);
        }
    }
    // The processes whose end matters are looked at one by one: a zombie
    // its parent has not reaped is still listed, and no list is read when
    // nothing was started.
    for (int pid : watched) {
        auto it = entries_.find(pid);
        if (it == entries_.end() || !it->second.valid || !ended(pid, it->second)) continue;
        update.gone.push_back(pid);
        young_.erase(pid);
        entries_.erase(it);
    }
    return update;
}

bool ProcessWatch::ended(int pid, const Entry& entry) const
{
    auto stat = ReadSmall(::dirfd(dir_), (std::to_string(pid) + "/stat").c_str());
    if (!stat) return true;
    const auto close = stat->rfind(')');
    if (close == std::string::npos || close + 2 >= stat->size()) return true;
    const char state = (*stat)[close + 2];
    if (state == 'Z' || state == 'X' || state == 'x') return true;
    // Its number taken by a new process since.
    const auto ticks = StartTicks(*stat);
    return !ticks || *ticks != entry.startTicks;
}

std::vector<ProcessInfo> ProcessWatch::Processes() const
{
    std::vector<ProcessInfo> out;
    for (const auto& [pid, entry] : entries_)
        if (entry.valid) out.push_back(entry.info);
    std::sort(out.begin(), out.end(), [](const ProcessInfo& a, const ProcessInfo& b) { return a.pid < b.pid; });
    return out;
}

}  // namespace zr417
