// The events exchanged with /dev/uhid, and the answers a device gives. One
// read() or write() on a uhid file is one struct uhid_event; everything here
// is plain data, so it is tested without a kernel.
#pragma once

#include "device/emu/emulated_bus.h"
#include "sim/uhid_layout.h"

#include <linux/uhid.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace zr417::sim::uhid {

struct DeviceInfo {
    std::string name;          // at most 127 bytes
    std::string phys;          // at most 63
    std::string uniq;          // at most 63
    std::uint16_t bus = 0x03;  // BUS_USB
    std::uint32_t vendorId = 0;
    std::uint32_t productId = 0;
    std::uint32_t version = 0;
    std::uint32_t country = 0;
    std::vector<std::uint8_t> descriptor;  // at most HID_MAX_DESCRIPTOR_SIZE
};

// UHID_CREATE2; nullopt when a text or the descriptor does not fit.
std::optional<uhid_event> CreateEvent(const DeviceInfo& info);
uhid_event DestroyEvent();
// UHID_INPUT2 with the report as the device sends it (ID first); nullopt
// when it is empty or longer than UHID_DATA_MAX.
std::optional<uhid_event> InputEvent(std::span<const std::uint8_t> report);
// Replies echo the request's id; data is sent only when err is 0.
uhid_event GetReportReply(std::uint32_t id, std::uint16_t err, std::span<const std::uint8_t> data);
uhid_event SetReportReply(std::uint32_t id, std::uint16_t err);

// What the kernel told or asked the device.
struct Request {
    enum class Kind { Start, Stop, Open, Close, Output, GetReport, SetReport, Other };
    Kind kind = Kind::Other;
    std::uint32_t id = 0;  // of a get or set report, echoed in its reply
    std::uint8_t reportId = 0;
    std::uint8_t reportType = 0;     // UHID_FEATURE_REPORT, UHID_OUTPUT_REPORT, UHID_INPUT_REPORT
    std::vector<std::uint8_t> data;  // set report and output: the report, ID first
};

// `length`: what read() returned. nullopt when it is too short for its type
// or a size field overruns the event.
std::optional<Request> DecodeEvent(const uhid_event& event, std::size_t length);

// The reply to a get or set report, answered by `device` on the collection
// `layout` gives the report ID; a report the device does not declare, or a
// type other than feature, is answered with EIO. nullopt for requests that
// take no reply.
std::optional<uhid_event> Answer(emu::EmulatedDevice& device, const Layout& layout, const Request& request);

}  // namespace zr417::sim::uhid
