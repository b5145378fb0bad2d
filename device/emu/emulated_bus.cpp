#include "device/emu/emulated_bus.h"

#include <sys/eventfd.h>
#include <unistd.h>
#include <algorithm>
#include <cctype>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <utility>

namespace zr417::emu {

void EmulatedDevice::setInputSink(InputSink sink)
{
    std::lock_guard lock(sinkMutex_);
    sink_ = std::move(sink);
}

void EmulatedDevice::sendInput(std::size_t index, std::vector<std::uint8_t> report)
{
    InputSink sink;
    {
        std::lock_guard lock(sinkMutex_);
        sink = sink_;
    }
    if (sink) sink(index, std::move(report));
}

// What the bus keeps of one plugged device; handles share it, so a handle
// outlives an unplug safely and then fails.
struct EmulatedBus::Slot {
    int port = 0;
    std::shared_ptr<EmulatedDevice> device;
    std::vector<EmulatedDevice::Collection> collections;
    std::vector<std::string> paths;

    std::mutex mutex;  // serialises reports to the device; guards the rest
    std::condition_variable inputArrived;
    bool plugged = true;
    int reportsUntilUnplug = -1;
    std::vector<std::deque<std::vector<std::uint8_t>>> inputQueues;
};

// A handle is as strict as a hidraw handle: it takes the feature reports of
// every collection of its interface (one node on Linux) at their declared
// lengths, and each goes to the collection that declares it.
class EmulatedHandle : public hid::Device {
public:
    EmulatedHandle(EmulatedBus* bus, std::shared_ptr<EmulatedBus::Slot> slot, std::size_t index)
        : bus_(bus), slot_(std::move(slot)), index_(index)
    {
        const int interfaceNumber = slot_->collections[index_].interfaceNumber;
        for (std::size_t i = 0; i < slot_->collections.size(); ++i)
            if (slot_->collections[i].interfaceNumber == interfaceNumber)
                features_.add(slot_->collections[i].reports, i);
    }

    bool setFeature(const std::uint8_t* data, std::size_t length) override
    {
        if (!features_.fits(data, length)) return false;
        std::shared_ptr<EmulatedDevice> successor;
        bool ok;
        {
            std::lock_guard lock(slot_->mutex);
            if (!slot_->plugged) return false;
            ok = slot_->device->setFeature(features_.ownerOf(data[0]), data, length);
            successor = slot_->device->takeSuccessor();
        }
        if (successor) {
            bus_->unplug(slot_->port);
            bus_->plug(std::move(successor));
        } else {
            bus_->afterReport(slot_->port);
        }
        return ok;
    }

    bool getFeature(std::uint8_t* data, std::size_t length) override
    {
        if (!features_.fits(data, length)) return false;
        bool ok;
        {
            std::lock_guard lock(slot_->mutex);
            if (!slot_->plugged) return false;
            std::vector<std::uint8_t> reply(data, data + length);
            ok = slot_->device->getFeature(features_.ownerOf(data[0]), reply.data(), length);
            if (ok) std::copy(reply.begin(), reply.end(), data);
        }
        bus_->afterReport(slot_->port);
        return ok;
    }

    hid::ReadStatus readInput(std::uint8_t* data, std::size_t length, std::chrono::milliseconds timeout,
                              std::size_t* received) override
    {
        std::unique_lock lock(slot_->mutex);
        auto& queue = slot_->inputQueues[index_];
        auto ready = [&] { return !slot_->plugged || !queue.empty() || interrupted_; };
        slot_->inputArrived.wait_for(lock, timeout, ready);
        if (interrupted_) {
            interrupted_ = false;
            return hid::ReadStatus::Interrupted;
        }
        if (!queue.empty()) {
            auto report = std::move(queue.front());
            queue.pop_front();
            std::size_t n = std::min(length, report.size());
            std::copy_n(report.begin(), n, data);
            if (received) *received = n;
            return hid::ReadStatus::Ok;
        }
        if (!slot_->plugged) return hid::ReadStatus::Disconnected;
        return hid::ReadStatus::Timeout;
    }

    void interruptRead() override
    {
        std::lock_guard lock(slot_->mutex);
        interrupted_ = true;
        slot_->inputArrived.notify_all();
    }

    bool connected() const override
    {
        std::lock_guard lock(slot_->mutex);
        return slot_->plugged;
    }

private:
    EmulatedBus* bus_;
    std::shared_ptr<EmulatedBus::Slot> slot_;
    std::size_t index_;
    hid::NodeFeatureReports features_;
    bool interrupted_ = false;  // guarded by the slot's mutex
};

EmulatedBus::EmulatedBus() : eventFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

EmulatedBus::~EmulatedBus()
{
    for (int port : ports()) unplug(port);
    if (eventFd_ >= 0) ::close(eventFd_);
}

static std::string makePath(int port, const EmulatedDevice& device, const EmulatedDevice::Collection& c)
{
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, "emu:/port%d/hid#vid_%04x&pid_%04x&mi_%02d&col%02d", port, device.vendorId(),
                  device.productId(), c.interfaceNumber, c.collectionNumber);
    return buffer;
}

int EmulatedBus::plug(std::shared_ptr<EmulatedDevice> device)
{
    auto slot = std::make_shared<Slot>();
    slot->device = std::move(device);
    slot->collections = slot->device->collections();
    slot->inputQueues.resize(slot->collections.size());
    std::vector<std::string> paths;
    {
        std::lock_guard lock(mutex_);
        slot->port = nextPort_++;
        for (const auto& c : slot->collections) slot->paths.push_back(makePath(slot->port, *slot->device, c));
        slots_[slot->port] = slot;
        paths = slot->paths;
    }
    std::weak_ptr<Slot> weak = slot;
    slot->device->setInputSink([weak](std::size_t index, std::vector<std::uint8_t> report) {
        auto s = weak.lock();
        if (!s) return;
        std::lock_guard lock(s->mutex);
        if (!s->plugged || index >= s->inputQueues.size()) return;
        s->inputQueues[index].push_back(std::move(report));
        s->inputArrived.notify_all();
    });
    for (const auto& p : paths) pushEvent(hid::PlugEvent::Kind::Arrival, p);
    return slot->port;
}

void EmulatedBus::unplug(int port)
{
    std::shared_ptr<Slot> slot;
    {
        std::lock_guard lock(mutex_);
        auto it = slots_.find(port);
        if (it == slots_.end()) return;
        slot = it->second;
        slots_.erase(it);
    }
    slot->device->setInputSink(nullptr);
    {
        std::lock_guard lock(slot->mutex);
        slot->plugged = false;
        slot->inputArrived.notify_all();
    }
    for (const auto& p : slot->paths) pushEvent(hid::PlugEvent::Kind::Removal, p);
}

std::shared_ptr<EmulatedDevice> EmulatedBus::device(int port) const
{
    std::lock_guard lock(mutex_);
    auto it = slots_.find(port);
    return it == slots_.end() ? nullptr : it->second->device;
}

std::vector<int> EmulatedBus::ports() const
{
    std::lock_guard lock(mutex_);
    std::vector<int> result;
    for (const auto& [port, slot] : slots_) result.push_back(port);
    return result;
}

void EmulatedBus::unplugAfterReports(int port, int reports)
{
    std::shared_ptr<Slot> slot;
    {
        std::lock_guard lock(mutex_);
        auto it = slots_.find(port);
        if (it == slots_.end()) return;
        slot = it->second;
    }
    std::lock_guard lock(slot->mutex);
    slot->reportsUntilUnplug = reports;
}

void EmulatedBus::afterReport(int port)
{
    bool unplugNow = false;
    {
        std::lock_guard lock(mutex_);
        auto it = slots_.find(port);
        if (it == slots_.end()) return;
        std::lock_guard slotLock(it->second->mutex);
        int& left = it->second->reportsUntilUnplug;
        if (left > 0 && --left == 0) unplugNow = true;
    }
    if (unplugNow) unplug(port);
}

std::string EmulatedBus::pathOf(int port, std::size_t index) const
{
    std::lock_guard lock(mutex_);
    auto it = slots_.find(port);
    if (it == slots_.end() || index >= it->second->paths.size()) return {};
    return it->second->paths[index];
}

std::vector<hid::CollectionInfo> EmulatedBus::enumerate()
{
    std::lock_guard lock(mutex_);
    std::vector<hid::CollectionInfo> result;
    for (const auto& [port, slot] : slots_) {
        for (std::size_t i = 0; i < slot->collections.size(); ++i) {
            const auto& c = slot->collections[i];
            hid::CollectionInfo info;
            info.path = slot->paths[i];
            info.vendorId = slot->device->vendorId();
            info.productId = slot->device->productId();
            info.interfaceNumber = c.interfaceNumber;
            info.collectionNumber = c.collectionNumber;
            info.usagePage = c.usagePage;
            info.usage = c.usage;
            info.reports = c.reports;
            result.push_back(std::move(info));
        }
    }
    return result;
}

static bool equalNoCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

std::unique_ptr<hid::Device> EmulatedBus::open(const std::string& path)
{
    std::lock_guard lock(mutex_);
    for (const auto& [port, slot] : slots_)
        for (std::size_t i = 0; i < slot->paths.size(); ++i)
            if (equalNoCase(slot->paths[i], path)) return std::make_unique<EmulatedHandle>(this, slot, i);
    return nullptr;
}

void EmulatedBus::pushEvent(hid::PlugEvent::Kind kind, const std::string& path)
{
    {
        std::lock_guard lock(mutex_);
        events_.push_back({kind, path});
    }
    if (eventFd_ >= 0) {
        std::uint64_t one = 1;
        (void)!::write(eventFd_, &one, sizeof one);
    }
}

std::vector<hid::PlugEvent> EmulatedBus::drainEvents()
{
    if (eventFd_ >= 0) {
        std::uint64_t count;
        (void)!::read(eventFd_, &count, sizeof count);
    }
    std::lock_guard lock(mutex_);
    return std::exchange(events_, {});
}

}  // namespace zr417::emu
