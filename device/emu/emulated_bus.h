// A HID bus of emulated devices: the keyboard firmware and bootloader
// emulators plug into it, and everything above the HID interface (protocol,
// listener, update tool) sees them as it would see real collections.
#pragma once

#include "device/hid.h"

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace zr417::emu {

// One emulated USB device with its top-level collections.
class EmulatedDevice {
public:
    struct Collection {
        int interfaceNumber = 1;
        int collectionNumber = 1;  // 1-based, as in "COL03"
        std::uint16_t usagePage = 0xFF00;
        std::uint16_t usage = 1;
        std::vector<hid::ReportInfo> reports;
    };

    virtual ~EmulatedDevice() = default;

    virtual std::uint16_t vendorId() const = 0;
    virtual std::uint16_t productId() const = 0;
    virtual std::vector<Collection> collections() const = 0;

    // Feature reports on collection `index` (into collections()), the one
    // that declares report ID data[0]; the bus passes on only reports the
    // device declares, at their declared lengths, whichever handle of the
    // interface they were sent on. Called with the bus's lock for this
    // device held, so an implementation needs no lock of its own for these two.
    virtual bool setFeature(std::size_t index, const std::uint8_t* data, std::size_t length) = 0;
    virtual bool getFeature(std::size_t index, std::uint8_t* data, std::size_t length) = 0;

    // Asked after every set: a device that leaves and comes back as another
    // (a keyboard told to start its bootloader) hands over its successor once.
    virtual std::shared_ptr<EmulatedDevice> takeSuccessor() { return nullptr; }

    // Where sendInput delivers; set by the bus while the device is plugged in.
    using InputSink = std::function<void(std::size_t index, std::vector<std::uint8_t> report)>;
    void setInputSink(InputSink sink);

protected:
    // Sends an input report on collection `index` (dropped while unplugged).
    void sendInput(std::size_t index, std::vector<std::uint8_t> report);

private:
    std::mutex sinkMutex_;
    InputSink sink_;
};

class EmulatedBus : public hid::Bus {
public:
    EmulatedBus();
    ~EmulatedBus() override;

    // Plugs a device in and returns its port number (1, 2, ...); queues an
    // arrival event for each of its collections.
    int plug(std::shared_ptr<EmulatedDevice> device);
    // Unplugs it: open handles fail from now on, readers see Disconnected,
    // removal events are queued. Unknown ports are ignored.
    void unplug(int port);
    std::shared_ptr<EmulatedDevice> device(int port) const;
    std::vector<int> ports() const;

    // Fault: unplug the device at `port` when it has served `reports` more
    // feature reports (set or get), in the middle of whatever runs.
    void unplugAfterReports(int port, int reports);

    // Path of collection `index` of the device at `port`.
    std::string pathOf(int port, std::size_t index) const;

    // hid::Bus
    std::vector<hid::CollectionInfo> enumerate() override;
    std::unique_ptr<hid::Device> open(const std::string& path) override;
    int eventFd() const override { return eventFd_; }
    std::vector<hid::PlugEvent> drainEvents() override;

    struct Slot;  // one plugged device (internal)

private:
    friend class EmulatedHandle;
    void pushEvent(hid::PlugEvent::Kind kind, const std::string& path);
    void afterReport(int port);

    mutable std::mutex mutex_;
    std::map<int, std::shared_ptr<Slot>> slots_;
    int nextPort_ = 1;
    int eventFd_ = -1;
    std::vector<hid::PlugEvent> events_;
};

}  // namespace zr417::emu
