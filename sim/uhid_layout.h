// How an emulated device looks to the kernel when zr417-sim presents it
// through /dev/uhid: the report descriptor it is created with, the physical
// path of the USB interface it stands for, and which of its collections
// answers each feature report the kernel asks for.
#pragma once

#include "device/emu/emulated_bus.h"
#include "device/hid.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace zr417::sim::uhid {

// One top-level collection of a descriptor to build.
struct DescriptorCollection {
    std::uint16_t usagePage = 0xFF00;
    std::uint16_t usage = 0;
    std::vector<hid::ReportInfo> reports;  // lengths with the ID byte; 0: no such part
};

// A report descriptor with these application collections in this order,
// every report made of byte fields. Reports without an ID are not supported:
// the devices here always number them.
std::vector<std::uint8_t> BuildReportDescriptor(std::span<const DescriptorCollection> collections);

struct Layout {
    std::string name;  // what the kernel calls the device
    int interfaceNumber = 0;
    std::vector<DescriptorCollection> collections;  // in descriptor order
    std::vector<std::uint8_t> descriptor;

    // A feature report the device answers: on which of the device's own
    // collections (EmulatedDevice::collections() index) and how long it is.
    struct Feature {
        std::uint8_t id = 0;
        std::size_t index = 0;
        std::uint16_t length = 0;
    };
    std::vector<Feature> features;
    const Feature* feature(std::uint8_t reportId) const;
};

// The device's collections keep their numbers ("COL03" stays the third
// top-level collection of the node): a number the device does not use is
// filled by an empty collection on another vendor page that no program
// looks at.
Layout MakeLayout(const emu::EmulatedDevice& device);

// The usage page of the filler collections.
constexpr std::uint16_t kFillerUsagePage = 0xFF01;

// "usb-zr417-sim-<instance>.<port>/input<interface>": what a USB HID
// interface's physical path looks like, so the backend reads the interface
// number from it as it does for a device without a USB interface in sysfs.
std::string PhysicalPath(int instance, int port, int interfaceNumber);

}  // namespace zr417::sim::uhid
