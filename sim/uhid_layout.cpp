#include "sim/uhid_layout.h"

#include "device/emu/bootloader_emulator.h"
#include "device/emu/keyboard_emulator.h"
#include "device/identities.h"

#include <algorithm>
#include <cstdio>

namespace zr417::sim::uhid {
namespace {

// Short items: a one-byte prefix (tag, type, size) and 1 or 2 data bytes.
void Item(std::vector<std::uint8_t>& out, std::uint8_t prefix, std::uint32_t value)
{
    if (value <= 0xFF) {
        out.insert(out.end(), {static_cast<std::uint8_t>(prefix | 1), static_cast<std::uint8_t>(value)});
    } else {
        out.insert(out.end(), {static_cast<std::uint8_t>(prefix | 2), static_cast<std::uint8_t>(value & 0xFF),
                               static_cast<std::uint8_t>(value >> 8)});
    }
}

void Field(std::vector<std::uint8_t>& out, std::uint16_t length, std::uint16_t usage, std::uint8_t mainItem)
{
    if (length < 2) return;        // the ID byte alone: no such part
    Item(out, 0x94, length - 1u);  // report count: the data bytes
    Item(out, 0x08, usage);
    out.insert(out.end(), {mainItem, 0x02});  // data, variable, absolute
}

}  // namespace

std::vector<std::uint8_t> BuildReportDescriptor(std::span<const DescriptorCollection> collections)
{
    std::vector<std::uint8_t> out;
    for (const auto& c : collections) {
        Item(out, 0x04, c.usagePage);
        Item(out, 0x08, c.usage);
        out.insert(out.end(), {0xA1, 0x01});  // application collection
        for (const auto& r : c.reports) {
            Item(out, 0x84, r.id);
            out.insert(out.end(), {0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08});  // bytes of 0..255
            Field(out, r.inputLength, c.usage, 0x81);
            Field(out, r.outputLength, c.usage, 0x91);
            Field(out, r.featureLength, c.usage, 0xB1);
        }
        out.push_back(0xC0);
    }
    return out;
}

const Layout::Feature* Layout::feature(std::uint8_t reportId) const
{
    auto it = std::find_if(features.begin(), features.end(), [&](const Feature& f) { return f.id == reportId; });
    return it == features.end() ? nullptr : &*it;
}

Layout MakeLayout(const emu::EmulatedDevice& device)
{
    Layout layout;
    const auto own = device.collections();
    layout.interfaceNumber = own.empty() ? 0 : own.front().interfaceNumber;
    const auto* keyboard = dynamic_cast<const emu::KeyboardEmulator*>(&device);
    if (keyboard) {
        layout.name = "ZR417 " + std::string(keyboard->identity().name) + " keyboard (zr417-sim)";
    } else if (dynamic_cast<const emu::BootloaderEmulator*>(&device)) {
        layout.name = "ZR417 bootloader (zr417-sim)";
    } else {
        char name[64];
        std::snprintf(name, sizeof name, "zr417-sim device %04x:%04x", device.vendorId(), device.productId());
        layout.name = name;
    }

    // Each collection at its number; numbers out of order or taken go last.
    int highest = 0;
    for (const auto& c : own) highest = std::max(highest, c.collectionNumber);
    std::vector<int> position(own.size(), -1);
    std::vector<bool> taken(static_cast<std::size_t>(highest), false);
    int extra = highest;
    for (std::size_t i = 0; i < own.size(); ++i) {
        int n = own[i].collectionNumber;
        if (n >= 1 && !taken[static_cast<std::size_t>(n - 1)]) {
            taken[static_cast<std::size_t>(n - 1)] = true;
            position[i] = n - 1;
        } else {
            position[i] = extra++;
        }
    }
    layout.collections.resize(static_cast<std::size_t>(extra));
    for (std::size_t k = 0; k < layout.collections.size(); ++k)
        layout.collections[k] = {kFillerUsagePage, static_cast<std::uint16_t>(k + 1), {}};
    for (std::size_t i = 0; i < own.size(); ++i) {
        auto& slot = layout.collections[static_cast<std::size_t>(position[i])];
        slot = {own[i].usagePage, own[i].usage, own[i].reports};
        for (const auto& r : own[i].reports)
            if (r.featureLength > 0 && !layout.feature(r.id)) layout.features.push_back({r.id, i, r.featureLength});
    }

    layout.descriptor = BuildReportDescriptor(layout.collections);
    return layout;
}

std::string PhysicalPath(int instance, int port, int interfaceNumber)
{
    char phys[64];
    std::snprintf(phys, sizeof phys, "usb-zr417-sim-%d.%d/input%d", instance, port, interfaceNumber);
    return phys;
}

}  // namespace zr417::sim::uhid
