// zr417-sim's uhid mode: every attached device becomes a kernel HID device
// through its own /dev/uhid file, so the programs meet it through their real
// backend (hidraw nodes, sysfs, the plug monitor). One thread answers the
// kernel's report requests from the emulators and writes their input
// reports; another tells which hidraw node each device got and, under sudo,
// hands that node to the user who ran it.
#pragma once

#include "sim/device_host.h"
#include "sim/uhid_layout.h"

#include <sys/types.h>

#include <condition_variable>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace zr417::sim {

// The hidraw node ("hidraw3") whose HID device has this physical path;
// nullopt when none has (yet).
std::optional<std::string> FindHidrawNodeByPhys(const std::filesystem::path& sysRoot, const std::string& phys);

class UhidHost : public DeviceHost {
public:
    struct Options {
        // Opens one uhid file (one device); a non-blocking descriptor, or -1
        // with errno set. Default: /dev/uhid.
        std::function<int()> open;
        // Owner the devices' hidraw nodes are given to (uid, gid); none: left
        // as the kernel and udev made them.
        std::optional<std::pair<uid_t, gid_t>> owner;
        // Print "zr417-sim: <device> is /dev/hidrawN" once the node is there.
        bool announce = true;
        std::filesystem::path sysRoot = "/sys";
        std::filesystem::path devRoot = "/dev";
        std::filesystem::path udevRoot = "/run/udev";
    };

    explicit UhidHost(Options options);
    ~UhidHost() override;  // destroys every device
    UhidHost(const UhidHost&) = delete;
    UhidHost& operator=(const UhidHost&) = delete;

    // Creates the device; 0 when the kernel refused it (the reason goes to
    // stderr).
    int attach(std::shared_ptr<emu::EmulatedDevice> device) override;
    void detach(int port) override;
    // Serves `reports` more feature reports, then destroys the device while
    // the next one is in flight: that report fails, as when the cable is
    // pulled in the middle of a transfer.
    void detachAfterReports(int port, int reports) override;
    int portOf(const emu::EmulatedDevice* device) const override;

private:
    struct Node;
    void loop();
    void serve(const std::shared_ptr<Node>& node);
    void wake();
    void watchNodes();

    Options options_;
    mutable std::mutex mutex_;  // the node map and the counters in it
    std::map<int, std::shared_ptr<Node>> nodes_;
    int nextPort_ = 1;
    int wakeFd_ = -1;
    bool stop_ = false;
    std::thread loop_;

    // Devices whose hidraw node is still to be found.
    struct Pending {
        std::string phys, name;
        std::chrono::steady_clock::time_point deadline;
    };
    std::mutex watchMutex_;
    std::condition_variable watchWake_;
    std::vector<Pending> pending_;
    std::thread watcher_;
};

// The host of zr417-sim --uhid; nullptr with the reason when /dev/uhid cannot
// be opened. Run under sudo, it gives the devices' hidraw nodes to the user
// who ran sudo, so the programs started by that user can open them.
std::unique_ptr<UhidHost> CreateUhidHost(std::string* error);

}  // namespace zr417::sim
