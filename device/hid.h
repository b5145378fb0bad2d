// The HID platform interface: everything the programs need of the system's
// HID devices, and nothing more. The Linux backend (hidraw ioctls, udev),
// the in-process emulator and the simulator client all implement it, so the
// protocol code above it runs the same against each.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zr417::hid {

// One report ID of a top-level collection. Lengths include the report ID
// byte, as Windows reports them; 0 means the collection has no such report.
struct ReportInfo {
    std::uint8_t id = 0;
    std::uint16_t featureLength = 0;
    std::uint16_t inputLength = 0;
    std::uint16_t outputLength = 0;
};

// A HID top-level collection, the unit Windows lists as one device interface.
struct CollectionInfo {
    // Unique per collection and stable while the device stays plugged in. It
    // carries the Windows-style tags upper-cased matching relies on, e.g.
    // ".../VID_1C4F&PID_5DC4&MI_01&COL03" (interface 1, collection 3).
    // Bus::open compares paths without regard to case.
    std::string path;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    int interfaceNumber = -1;  // USB interface, -1 when unknown
    int collectionNumber = 0;  // 1-based top-level collection number
    std::uint16_t usagePage = 0;
    std::uint16_t usage = 0;
    std::vector<ReportInfo> reports;

    // The longest feature / input report of the collection (Windows' caps).
    std::uint16_t featureReportLength() const;
    std::uint16_t inputReportLength() const;
};

// The feature reports one handle takes. On Linux one hidraw node carries
// every report of its interface, so a handle sends and fetches each feature
// report that any collection of its node declares, at exactly the declared
// length (ID byte included), and refuses every other transfer before it
// leaves the process. The hidraw backend and the emulated bus both follow it.
class NodeFeatureReports {
public:
    // Adds a collection's reports; `owner` names the collection (an ID
    // declared twice keeps its first owner and length).
    void add(const std::vector<ReportInfo>& reports, std::size_t owner = 0);

    // The declared length of feature report `id`, 0 when the node has none.
    std::uint16_t lengthOf(std::uint8_t id) const;
    // The collection that declares feature report `id` (call only when it has one).
    std::size_t ownerOf(std::uint8_t id) const;
    // Whether a transfer of `length` bytes, report ID data[0], is one of them.
    bool fits(const std::uint8_t* data, std::size_t length) const { return length > 0 && length == lengthOf(data[0]); }

private:
    struct Entry {
        std::uint8_t id;
        std::uint16_t length;
        std::size_t owner;
    };
    std::vector<Entry> entries_;
};

enum class ReadStatus {
    Ok,            // a report arrived
    Timeout,       // nothing within the wait
    Interrupted,   // interruptRead() was called
    Disconnected,  // the device is gone (unplugged, or its node removed)
    Error,
};

// An open collection.
class Device {
public:
    virtual ~Device() = default;

    // Synchronous feature reports; data[0] is the report ID. Short or failed
    // transfers return false. getFeature overwrites the whole buffer on
    // success and leaves it untouched on failure.
    virtual bool setFeature(const std::uint8_t* data, std::size_t length) = 0;
    virtual bool getFeature(std::uint8_t* data, std::size_t length) = 0;

    // Waits at most `timeout` for one input report of the collection and
    // copies it to data (data[0] = report ID). *received gets its length.
    virtual ReadStatus readInput(std::uint8_t* data, std::size_t length, std::chrono::milliseconds timeout,
                                 std::size_t* received) = 0;
    // Makes a readInput blocked in another thread return Interrupted at once
    // (and the next one too, if none is blocked). Thread-safe.
    virtual void interruptRead() = 0;

    // False once the device is known to be gone (unplugged); every transfer
    // on it then fails at once.
    virtual bool connected() const { return true; }
};

struct PlugEvent {
    enum class Kind { Arrival, Removal };
    Kind kind = Kind::Arrival;
    std::string path;  // the collection that came or went, when known
};

// The set of HID collections present on the system.
class Bus {
public:
    virtual ~Bus() = default;

    // The collections present now, in the system's order.
    virtual std::vector<CollectionInfo> enumerate() = 0;
    // Opens a collection by path (case-insensitive); nullptr when it cannot
    // be opened.
    virtual std::unique_ptr<Device> open(const std::string& path) = 0;

    // Plug notifications. eventFd() is a file descriptor that becomes readable
    // when events are waiting (-1 if the bus has none); the GUI thread watches
    // it and calls drainEvents(), which returns the waiting events in order.
    virtual int eventFd() const = 0;
    virtual std::vector<PlugEvent> drainEvents() = 0;
};

}  // namespace zr417::hid
