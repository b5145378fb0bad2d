// Where zr417-sim attaches its emulated devices. Today that is an emulated
// HID bus served to the programs over the simulator's socket; a host that
// creates a /dev/uhid device per attached device (feature requests answered
// by the device, its input reports written as UHID_INPUT2) can take its
// place without changing the simulator's bookkeeping.
#pragma once

#include "device/emu/emulated_bus.h"

#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace zr417::sim {

class DeviceHost {
public:
    virtual ~DeviceHost() = default;
    // Attaches a device and returns its port (> 0). A device that hands over
    // a successor (EmulatedDevice::takeSuccessor) is replaced by it on the
    // same host, at a new port.
    virtual int attach(std::shared_ptr<emu::EmulatedDevice> device) = 0;
    virtual void detach(int port) = 0;
    // Detaches the device at `port` once it has served `reports` more
    // feature reports (an unplug in the middle of a transfer).
    virtual void detachAfterReports(int port, int reports) = 0;
    // The port a device is attached at, 0 when it is not attached.
    virtual int portOf(const emu::EmulatedDevice* device) const = 0;
};

// The host of the socket server: an EmulatedBus, which is also the hid::Bus
// the server forwards to its clients. Input reports do not go to the bus's
// own queue: the server gives each one to every handle open on its
// collection, as hidraw gives one to every open file, and waits for them
// with poll() instead of a thread per handle.
class EmulatedBusHost : public DeviceHost {
public:
    EmulatedBusHost();
    ~EmulatedBusHost() override;
    EmulatedBusHost(const EmulatedBusHost&) = delete;
    EmulatedBusHost& operator=(const EmulatedBusHost&) = delete;

    emu::EmulatedBus& bus() { return bus_; }

    int attach(std::shared_ptr<emu::EmulatedDevice> device) override;
    void detach(int port) override { bus_.unplug(port); }
    void detachAfterReports(int port, int reports) override { bus_.unplugAfterReports(port, reports); }
    int portOf(const emu::EmulatedDevice* device) const override;

    // Readable while input reports wait; drainInput() takes them in order.
    int inputFd() const { return inputFd_; }
    struct Input {
        std::string path;  // the collection that sent it
        std::vector<std::uint8_t> report;
    };
    std::vector<Input> drainInput();

private:
    static constexpr std::size_t kMaxWaitingInput = 1024;  // the oldest go first

    int inputFd_ = -1;
    std::mutex inputMutex_;
    std::deque<Input> input_;
    emu::EmulatedBus bus_;  // last member: unplugs its devices before the queue goes
};

}  // namespace zr417::sim
