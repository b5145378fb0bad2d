// What the Linux backend reads from sysfs about hidraw nodes: vendor and
// product ID, the USB interface number and the report descriptor, and the
// collection list made from them. Plain file reading, so it is tested on a
// fake sysfs tree.
//
// Collection paths: "<device node>#VID_vvvv&PID_pppp&MI_ii&COLcc", upper-case
// hex, e.g. "/dev/hidraw3#VID_1C4F&PID_5DC4&MI_01&COL03". "MI_ii" is left out
// when the interface is unknown and "&COLcc" when the node has a single
// top-level collection (as Windows names them).
#pragma once

#include "device/hid.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zr417::hidraw {

struct HidUevent {
    std::uint32_t bus = 0;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::string name;
    std::string phys;
};

// The uevent file of a HID device (HID_ID=0003:00001C4F:00005DC4, HID_NAME=,
// HID_PHYS=); nullopt without a valid HID_ID.
std::optional<HidUevent> ParseHidUevent(std::string_view text);

// Interface number from the end of a physical path ("usb-0000:00:14.0-1/input1"
// gives 1); -1 when the path does not end in "inputN".
int InterfaceFromPhys(std::string_view phys);

struct HidrawNode {
    std::string name;     // "hidraw3"
    std::string devNode;  // "/dev/hidraw3"
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    int interfaceNumber = -1;
    std::vector<std::uint8_t> descriptor;
};

// Reads <sysRoot>/class/hidraw/<name>: device/uevent, device/report_descriptor
// and bInterfaceNumber of the USB interface above the HID device (else the
// interface from HID_PHYS). nullopt when the node is incomplete.
std::optional<HidrawNode> ReadHidrawNode(const std::filesystem::path& sysRoot, const std::string& name,
                                         const std::filesystem::path& devRoot = "/dev");
// Every node, sorted by number (hidraw2 before hidraw10).
std::vector<HidrawNode> ListHidrawNodes(const std::filesystem::path& sysRoot = "/sys",
                                        const std::filesystem::path& devRoot = "/dev");

std::string CollectionPath(const HidrawNode& node, int collectionNumber, std::size_t collectionCount);
// The node's top-level collections; none when its descriptor is malformed.
std::vector<hid::CollectionInfo> CollectionsOfNode(const HidrawNode& node);

// The device node part of a collection path.
std::string DevNodeOfPath(std::string_view path);

bool EqualNoCase(std::string_view a, std::string_view b);

}  // namespace zr417::hidraw
