#include "platform/hidraw_bus.h"

#include "platform/hidraw_input.h"
#include "platform/hidraw_sysfs.h"

#include <libudev.h>
#include <linux/hidraw.h>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>

namespace zr417::hidraw {
namespace {

bool isGoneError(int e)
{
    return e == ENODEV || e == EIO || e == ESHUTDOWN || e == ENOENT;
}

// The longest report the ioctl number can carry.
constexpr std::size_t kMaxFeatureLength = _IOC_SIZEMASK;

// Feature reports are the hidraw ioctls themselves, as hidapi issues them.
// hidapi 0.13's hid_open_path crashes when a node opens but fails its first
// ioctl, which is what a node unplugged in between does: the update tool's
// enumeration meets that whenever a keyboard switches to its bootloader.
class HidrawDevice : public hid::Device {
public:
    // `reports` are the collection's own (its input reports are read),
    // `features` those of every collection on the node.
    HidrawDevice(int fd, std::string devNode, std::vector<hid::ReportInfo> reports, hid::NodeFeatureReports features)
        : fd_(fd),
          devNode_(std::move(devNode)),
          features_(std::move(features)),
          reader_(reports, std::any_of(reports.begin(), reports.end(), [](auto& r) { return r.id != 0; }))
    {
    }
    ~HidrawDevice() override { ::close(fd_); }

    bool setFeature(const std::uint8_t* data, std::size_t length) override
    {
        if (gone_ || length > kMaxFeatureLength || !features_.fits(data, length)) return false;
        std::vector<std::uint8_t> report(data, data + length);
        int n = ::ioctl(fd_, HIDIOCSFEATURE(length), report.data());
        if (n < 0 && isGoneError(errno)) gone_ = true;
        return n == static_cast<int>(length);
    }

    bool getFeature(std::uint8_t* data, std::size_t length) override
    {
        if (gone_ || length > kMaxFeatureLength || !features_.fits(data, length)) return false;
        std::vector<std::uint8_t> reply(data, data + length);
        int n = ::ioctl(fd_, HIDIOCGFEATURE(length), reply.data());
        if (n < 0 && isGoneError(errno)) gone_ = true;
        if (n != static_cast<int>(length)) return false;  // failed, short or oversized: the buffer stays as it was
        std::copy(reply.begin(), reply.end(), data);
        return true;
    }

    hid::ReadStatus readInput(std::uint8_t* data, std::size_t length, std::chrono::milliseconds timeout,
                              std::size_t* received) override
    {
        if (gone_) return hid::ReadStatus::Disconnected;
        {
            std::lock_guard lock(openMutex_);
            if (!reader_.attached()) {
                int fd = ::open(devNode_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
                if (fd < 0) return isGoneError(errno) ? hid::ReadStatus::Disconnected : hid::ReadStatus::Error;
                reader_.attach(fd);
            }
        }
        auto status = reader_.read(data, length, timeout, received);
        if (reader_.gone()) gone_ = true;
        return status;
    }

    void interruptRead() override { reader_.interrupt(); }
    // A removed device's node answers its ioctls with ENODEV.
    bool connected() const override
    {
        if (gone_) return false;
        hidraw_devinfo info{};
        if (::ioctl(fd_, HIDIOCGRAWINFO, &info) < 0 && isGoneError(errno)) gone_ = true;
        return !gone_;
    }

private:
    int fd_;
    std::string devNode_;
    hid::NodeFeatureReports features_;
    std::mutex openMutex_;
    InputReader reader_;
    mutable std::atomic<bool> gone_{false};
};

}  // namespace

struct HidrawBus::Monitor {
    udev* context = nullptr;
    udev_monitor* monitor = nullptr;
    const char* source = "none";
    ~Monitor()
    {
        if (monitor) udev_monitor_unref(monitor);
        if (context) udev_unref(context);
    }
};

HidrawBus::HidrawBus(std::filesystem::path sysRoot, std::filesystem::path devRoot)
    : sysRoot_(std::move(sysRoot)), devRoot_(std::move(devRoot)), monitor_(std::make_unique<Monitor>())
{
    monitor_->context = udev_new();
    // udev's own events come after it has set a node up (permissions
    // included); without a udev daemon nobody sends them, and the kernel's
    // uevents are all there is. The control socket is how libudev tells.
    const char* source = ::access("/run/udev/control", F_OK) == 0 ? "udev" : "kernel";
    if (monitor_->context) monitor_->monitor = udev_monitor_new_from_netlink(monitor_->context, source);
    if (monitor_->monitor) {
        udev_monitor_filter_add_match_subsystem_devtype(monitor_->monitor, "hidraw", nullptr);
        if (udev_monitor_enable_receiving(monitor_->monitor) < 0) {
            udev_monitor_unref(monitor_->monitor);
            monitor_->monitor = nullptr;
        } else {
            int fd = udev_monitor_get_fd(monitor_->monitor);
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
            monitor_->source = source;
        }
    }
}

HidrawBus::~HidrawBus() = default;

std::vector<hid::CollectionInfo> HidrawBus::enumerate()
{
    std::vector<hid::CollectionInfo> result;
    for (const auto& node : ListHidrawNodes(sysRoot_, devRoot_)) {
        auto collections = CollectionsOfNode(node);
        result.insert(result.end(), collections.begin(), collections.end());
    }
    return result;
}

std::unique_ptr<hid::Device> HidrawBus::open(const std::string& path)
{
    const auto collections = enumerate();
    for (const auto& c : collections) {
        if (!EqualNoCase(c.path, path)) continue;
        std::string devNode = DevNodeOfPath(c.path);
        // The node carries the reports of all its collections: the update
        // tool asks a bootloader's status word (report 5) through the handle
        // of its data collection (report 6).
        hid::NodeFeatureReports features;
        for (const auto& sibling : collections)
            if (DevNodeOfPath(sibling.path) == devNode) features.add(sibling.reports);
        int fd = ::open(devNode.c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0) return nullptr;
        // Only a hidraw node answers this, and one unplugged since the listing fails it.
        int descriptorSize = 0;
        if (::ioctl(fd, HIDIOCGRDESCSIZE, &descriptorSize) < 0) {
            ::close(fd);
            return nullptr;
        }
        return std::make_unique<HidrawDevice>(fd, devNode, c.reports, std::move(features));
    }
    return nullptr;
}

const char* HidrawBus::monitorSource() const
{
    return monitor_->source;
}

int HidrawBus::eventFd() const
{
    return monitor_->monitor ? udev_monitor_get_fd(monitor_->monitor) : -1;
}

std::vector<hid::PlugEvent> HidrawBus::drainEvents()
{
    std::vector<hid::PlugEvent> events;
    if (!monitor_->monitor) return events;
    while (udev_device* dev = udev_monitor_receive_device(monitor_->monitor)) {
        const char* action = udev_device_get_action(dev);
        const char* node = udev_device_get_devnode(dev);
        std::string path = node ? node : "";
        if (action && std::strcmp(action, "add") == 0)
            events.push_back({hid::PlugEvent::Kind::Arrival, path});
        else if (action && std::strcmp(action, "remove") == 0)
            events.push_back({hid::PlugEvent::Kind::Removal, path});
        udev_device_unref(dev);
    }
    return events;
}

}  // namespace zr417::hidraw
