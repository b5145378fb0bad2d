#include "sim/uhid_host.h"

#include "platform/files.h"
#include "platform/hidraw_sysfs.h"
#include "platform/user_runtime.h"
#include "sim/uhid_events.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace zr417::sim {
namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

constexpr auto kNodeWait = 5s;      // for the kernel (and udev) to make a device's hidraw node
constexpr int kEventsPerTurn = 16;  // one busy device cannot starve the others

std::optional<std::string> ReadTrimmed(const fs::path& path)
{
    auto bytes = ReadFileBytes(path, 4096);
    if (!bytes) return std::nullopt;
    std::string text(bytes->begin(), bytes->end());
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
}

}  // namespace

std::optional<std::string> FindHidrawNodeByPhys(const fs::path& sysRoot, const std::string& phys)
{
    std::error_code ec;
    for (fs::directory_iterator it(sysRoot / "class" / "hidraw", ec), end; !ec && it != end; it.increment(ec)) {
        auto text = ReadFileBytes(it->path() / "device" / "uevent", 64 * 1024);
        if (!text) continue;
        auto uevent =
            hidraw::ParseHidUevent(std::string_view(reinterpret_cast<const char*>(text->data()), text->size()));
        if (uevent && uevent->phys == phys) return it->path().filename().string();
    }
    return std::nullopt;
}

struct UhidHost::Node {
    int port = 0;
    int fd = -1;
    std::shared_ptr<emu::EmulatedDevice> device;
    uhid::Layout layout;
    std::string phys;
    bool attached = true;  // guarded by the host's mutex, as is the counter
    int reportsLeft = -1;  // reports to serve before the unplug; -1: none planned
    std::mutex writeMutex;

    ~Node()
    {
        if (fd >= 0) ::close(fd);  // the kernel drops a device whose file closes
    }
    bool write(const uhid_event& ev)
    {
        std::lock_guard lock(writeMutex);
        return ::write(fd, &ev, sizeof ev) == static_cast<ssize_t>(sizeof ev);
    }
};

UhidHost::UhidHost(Options options) : options_(std::move(options)), wakeFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
    if (!options_.open) options_.open = [] { return ::open("/dev/uhid", O_RDWR | O_CLOEXEC | O_NONBLOCK); };
    loop_ = std::thread([this] { loop(); });
    if (options_.announce || options_.owner) watcher_ = std::thread([this] { watchNodes(); });
}

UhidHost::~UhidHost()
{
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake();
    loop_.join();
    {
        std::lock_guard lock(watchMutex_);
        pending_.clear();
    }
    watchWake_.notify_all();
    if (watcher_.joinable()) watcher_.join();
    std::vector<int> ports;
    {
        std::lock_guard lock(mutex_);
        for (const auto& entry : nodes_) ports.push_back(entry.first);
    }
    for (int port : ports) detach(port);
    if (wakeFd_ >= 0) ::close(wakeFd_);
}

void UhidHost::wake()
{
    std::uint64_t one = 1;
    (void)!::write(wakeFd_, &one, sizeof one);
}

int UhidHost::attach(std::shared_ptr<emu::EmulatedDevice> device)
{
    auto node = std::make_shared<Node>();
    node->device = std::move(device);
    node->layout = uhid::MakeLayout(*node->device);
    {
        std::lock_guard lock(mutex_);
        node->port = nextPort_++;
    }
    node->phys = uhid::PhysicalPath(static_cast<int>(::getpid()), node->port, node->layout.interfaceNumber);
    uhid::DeviceInfo info;
    info.name = node->layout.name;
    info.phys = node->phys;
    info.uniq = "ZR417SIM" + std::to_string(::getpid()) + "." + std::to_string(node->port);
    info.vendorId = node->device->vendorId();
    info.productId = node->device->productId();
    info.descriptor = node->layout.descriptor;
    auto create = uhid::CreateEvent(info);
    if (!create) {
        std::fprintf(stderr, "zr417-sim: %s: its report descriptor does not fit a uhid device\n", info.name.c_str());
        return 0;
    }
    node->fd = options_.open();
    if (node->fd < 0) {
        std::fprintf(stderr, "zr417-sim: cannot open /dev/uhid for %s: %s\n", info.name.c_str(), std::strerror(errno));
        return 0;
    }
    if (!node->write(*create)) {
        std::fprintf(stderr, "zr417-sim: the kernel refused %s: %s\n", info.name.c_str(), std::strerror(errno));
        return 0;
    }
    std::weak_ptr<Node> weak = node;
    node->device->setInputSink([weak](std::size_t, std::vector<std::uint8_t> report) {
        auto n = weak.lock();
        if (!n) return;
        if (auto ev = uhid::InputEvent(report)) n->write(*ev);
    });
    {
        std::lock_guard lock(mutex_);
        nodes_[node->port] = node;
    }
    wake();
    if (watcher_.joinable()) {
        {
            std::lock_guard lock(watchMutex_);
            pending_.push_back({node->phys, info.name, std::chrono::steady_clock::now() + kNodeWait});
        }
        watchWake_.notify_all();
    }
    return node->port;
}

void UhidHost::detach(int port)
{
    std::shared_ptr<Node> node;
    {
        std::lock_guard lock(mutex_);
        auto it = nodes_.find(port);
        if (it == nodes_.end()) return;
        node = it->second;
        node->attached = false;
        nodes_.erase(it);
    }
    node->device->setInputSink(nullptr);
    node->write(uhid::DestroyEvent());
    {
        std::lock_guard lock(watchMutex_);
        std::erase_if(pending_, [&](const Pending& p) { return p.phys == node->phys; });
    }
    wake();  // the loop lets go of the node; its file closes with the last reference
}

void UhidHost::detachAfterReports(int port, int reports)
{
    std::lock_guard lock(mutex_);
    auto it = nodes_.find(port);
    if (it != nodes_.end()) it->second->reportsLeft = std::max(reports, 0);
}

int UhidHost::portOf(const emu::EmulatedDevice* device) const
{
    std::lock_guard lock(mutex_);
    for (const auto& [port, node] : nodes_)
        if (node->device.get() == device) return port;
    return 0;
}

void UhidHost::loop()
{
    std::vector<std::shared_ptr<Node>> nodes;
    std::vector<pollfd> fds;
    for (;;) {
        nodes.clear();
        {
            std::lock_guard lock(mutex_);
            if (stop_) return;
            for (const auto& entry : nodes_) nodes.push_back(entry.second);
        }
        fds.assign(1, {wakeFd_, POLLIN, 0});
        for (const auto& n : nodes) fds.push_back({n->fd, POLLIN, 0});
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) continue;
            std::fprintf(stderr, "zr417-sim: poll: %s\n", std::strerror(errno));
            return;
        }
        if (fds[0].revents & POLLIN) {
            std::uint64_t count;
            (void)!::read(wakeFd_, &count, sizeof count);
        }
        for (std::size_t i = 0; i < nodes.size(); ++i) {
            short revents = fds[i + 1].revents;
            if (revents & POLLIN)
                serve(nodes[i]);
            else if (revents & (POLLHUP | POLLERR | POLLNVAL))
                detach(nodes[i]->port);  // the file is broken: nothing more will come
        }
    }
}

void UhidHost::serve(const std::shared_ptr<Node>& node)
{
    using Kind = uhid::Request::Kind;
    uhid_event ev;
    for (int i = 0; i < kEventsPerTurn; ++i) {
        ssize_t n = ::read(node->fd, &ev, sizeof ev);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
        if (n <= 0) {
            detach(node->port);  // the file is broken or at its end: nothing more will come
            return;
        }
        auto request = uhid::DecodeEvent(ev, static_cast<std::size_t>(n));
        if (!request || (request->kind != Kind::GetReport && request->kind != Kind::SetReport)) continue;
        bool cut = false;
        {
            std::lock_guard lock(mutex_);
            if (!node->attached) return;
            if (node->reportsLeft == 0)
                cut = true;
            else if (node->reportsLeft > 0)
                --node->reportsLeft;
        }
        if (cut) {
            detach(node->port);  // unanswered: the kernel fails the report in flight
            return;
        }
        if (auto reply = uhid::Answer(*node->device, node->layout, *request)) node->write(*reply);
        if (request->kind == Kind::SetReport) {
            if (auto successor = node->device->takeSuccessor()) {
                detach(node->port);
                attach(std::move(successor));
                return;
            }
        }
    }
}

void UhidHost::watchNodes()
{
    std::unique_lock lock(watchMutex_);
    for (;;) {
        {
            std::lock_guard stopLock(mutex_);
            if (stop_) return;
        }
        if (pending_.empty()) {
            watchWake_.wait_for(lock, 1s);
            continue;
        }
        auto pending = pending_;
        lock.unlock();
        std::vector<std::string> done;
        const bool udev = fs::exists(options_.udevRoot / "control");
        for (const auto& p : pending) {
            auto name = FindHidrawNodeByPhys(options_.sysRoot, p.phys);
            // With udev running, wait until it has set the node up: it would
            // reset an owner given before.
            bool ready = false;
            if (name && !udev) {
                ready = true;
            } else if (name) {
                auto devnum = ReadTrimmed(options_.sysRoot / "class" / "hidraw" / *name / "dev");
                ready = devnum && fs::exists(options_.udevRoot / "data" / ("c" + *devnum));
            }
            if (ready) {
                fs::path node = options_.devRoot / *name;
                std::string note;
                if (options_.owner) {
                    if (::chown(node.c_str(), options_.owner->first, options_.owner->second) == 0)
                        note = " (given to user " + std::to_string(options_.owner->first) + ")";
                    else
                        note = std::string(" (could not give it to the user: ") + std::strerror(errno) + ")";
                }
                if (options_.announce)
                    std::printf("zr417-sim: %s is %s%s\n", p.name.c_str(), node.c_str(), note.c_str());
                std::fflush(stdout);
                done.push_back(p.phys);
            } else if (std::chrono::steady_clock::now() > p.deadline) {
                std::fprintf(stderr, "zr417-sim: %s got no hidraw node\n", p.name.c_str());
                done.push_back(p.phys);
            }
        }
        lock.lock();
        std::erase_if(pending_, [&](const Pending& p) { return std::count(done.begin(), done.end(), p.phys) > 0; });
        if (!pending_.empty()) watchWake_.wait_for(lock, 50ms);
    }
}

std::unique_ptr<UhidHost> CreateUhidHost(std::string* error)
{
    int fd = ::open("/dev/uhid", O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        int e = errno;
        std::string why = std::string("cannot open /dev/uhid: ") + std::strerror(e);
        if (e == EACCES || e == EPERM)
            why += " (it belongs to root: run zr417-sim --uhid with sudo)";
        else if (e == ENOENT || e == ENODEV)
            why += " (this kernel has no uhid: try sudo modprobe uhid)";
        if (error) *error = why;
        return nullptr;
    }
    ::close(fd);
    UhidHost::Options options;
    if (auto user = SudoUser()) options.owner = {user->uid, user->gid};
    return std::make_unique<UhidHost>(std::move(options));
}

}  // namespace zr417::sim
