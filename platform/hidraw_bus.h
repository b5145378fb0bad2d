// The Linux HID backend: collections listed from sysfs (one hidraw node split
// by its report descriptor), feature reports through the hidraw ioctls, input reports
// through the node with a poll() wait, plugging from a udev monitor on the
// "hidraw" subsystem (the kernel's own uevents when no udev daemon runs).
#pragma once

#include "device/hid.h"

#include <filesystem>
#include <memory>

namespace zr417::hidraw {

class HidrawBus : public hid::Bus {
public:
    // The roots are for tests on a fake tree; the monitor only watches the system.
    explicit HidrawBus(std::filesystem::path sysRoot = "/sys", std::filesystem::path devRoot = "/dev");
    ~HidrawBus() override;

    std::vector<hid::CollectionInfo> enumerate() override;
    std::unique_ptr<hid::Device> open(const std::string& path) override;
    // The plug monitor's descriptor (-1 when there is none).
    int eventFd() const override;
    std::vector<hid::PlugEvent> drainEvents() override;

    // Where plug events come from: "udev" (devices announced once udev has
    // set them up), "kernel" (the kernel's uevents: no udev daemon runs, as
    // in a container or an initramfs) or "none".
    const char* monitorSource() const;

private:
    std::filesystem::path sysRoot_, devRoot_;
    struct Monitor;
    std::unique_ptr<Monitor> monitor_;
};

}  // namespace zr417::hidraw
