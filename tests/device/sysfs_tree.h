// A fake sysfs tree in a temporary folder, laid out as the kernel lays out
// hidraw nodes: class/hidraw/hidrawN/device -> the HID device's folder,
// which sits in its USB interface's folder for USB devices.
#pragma once

#include "platform/files.h"
#include "tests/support/temp_dir.h"

#include <unistd.h>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace zr417::testing {

struct SysfsTree {
    SysfsTree() { std::filesystem::create_directories(root / "class" / "hidraw"); }

    void addUsb(const std::string& name, int vid, int pid, int interface, const std::string& phys,
                const std::vector<std::uint8_t>& descriptor)
    {
        char folder[64];
        std::snprintf(folder, sizeof folder, "devices/usb1/1-1/1-1:1.%d", interface);
        auto usbInterface = root / folder;
        std::filesystem::create_directories(usbInterface);
        char number[8];
        std::snprintf(number, sizeof number, "%02x\n", interface);
        write(usbInterface / "bInterfaceNumber", number);
        addDevice(usbInterface, name, vid, pid, phys, descriptor);
    }

    void addUhid(const std::string& name, int vid, int pid, const std::string& phys,
                 const std::vector<std::uint8_t>& descriptor)
    {
        auto parent = root / "devices/virtual/misc/uhid";
        std::filesystem::create_directories(parent);
        addDevice(parent, name, vid, pid, phys, descriptor);
    }

    void addBroken(const std::string& name)
    {
        auto device = root / "devices/broken" / name;
        std::filesystem::create_directories(device);
        link(device, name);
    }

    zr417::test::TempDir tmp{"sysfs"};
    std::filesystem::path root = tmp.path();

private:
    void addDevice(const std::filesystem::path& parent, const std::string& name, int vid, int pid,
                   const std::string& phys, const std::vector<std::uint8_t>& descriptor)
    {
        char folder[64], uevent[256];
        std::snprintf(folder, sizeof folder, "0003:%04X:%04X.%04zu", vid, pid, ++serial_);
        auto device = parent / folder;
        std::filesystem::create_directories(device);
        std::snprintf(uevent, sizeof uevent, "DRIVER=hid-generic\nHID_ID=0003:%08X:%08X\nHID_NAME=Test\nHID_PHYS=%s\n",
                      vid, pid, phys.c_str());
        write(device / "uevent", uevent);
        WriteFileAtomic(device / "report_descriptor", descriptor);
        link(device, name);
    }

    void link(const std::filesystem::path& device, const std::string& name)
    {
        auto node = root / "class/hidraw" / name;
        std::filesystem::create_directories(node);
        std::filesystem::create_directory_symlink(device, node / "device");
    }

    static void write(const std::filesystem::path& p, const std::string& text)
    {
        WriteFileAtomic(p, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    }

    std::size_t serial_ = 0;
};

}  // namespace zr417::testing
