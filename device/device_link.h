// The device link: finds the keyboard's collections among the HID devices,
// tells the model, keeps one open handle per collection, offers the two
// feature-report primitives the command protocol is built on, follows
// plugging and unplugging, and runs the input listener.
#pragma once

#include "device/hid.h"
#include "device/identities.h"
#include "device/input_listener.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace zr417 {

using PauseFn = std::function<void(std::chrono::milliseconds)>;
// std::this_thread::sleep_for.
void RealPause(std::chrono::milliseconds duration);

// The handles and model the protocol works with, taken at one moment.
struct DeviceHandles {
    std::shared_ptr<hid::Device> command, data, matrix;
    Model model = Model::Third;
};

class DeviceLink {
public:
    struct Events {
        // A keyboard was plugged in and collection 3 opened: run the arrival
        // read-out and refresh the window. Runs on the caller's thread.
        std::function<void()> arrived;
        // From the listener thread: a host-action key and "the device is not
        // connected" (the listener's two callbacks passed on). The owner must
        // not destroy the link (or stop the listener and join) on the thread
        // these block on.
        std::function<void(std::uint8_t code)> keyCode;
        std::function<void()> notConnected;
    };

    DeviceLink(hid::Bus& bus, Events events, PauseFn pause = RealPause);
    ~DeviceLink();  // stops the listener and closes every handle
    DeviceLink(const DeviceLink&) = delete;
    DeviceLink& operator=(const DeviceLink&) = delete;

    hid::Bus& bus() { return bus_; }

    // The handle set; a handle is valid when it is not null. Shared, so a
    // worker that took a snapshot (and the listener) keeps its handles
    // usable, though failing, after a removal closed them here.
    // Only the link opens, closes and matches them.
    const std::shared_ptr<hid::Device>& g_hCommandDev() const { return commandDev_; }  // collection 3, report 3
    const std::shared_ptr<hid::Device>& g_hDataDev() const { return dataDev_; }        // collection 4, report 4
    const std::shared_ptr<hid::Device>& g_hMatrixDev() const { return matrixDev_; }    // collection 6, report 6
    const std::shared_ptr<hid::Device>& g_hInputDev() const { return inputDev_; }      // collection 7, input
    std::uint8_t g_nModel() const { return model_; }                   // model of the keyboard last matched
    const std::string& g_szDevicePath() const { return devicePath_; }  // path of the last match (upper-cased)
    bool g_bStopListen() const { return stopListen_; }

    // Looks for an accepted keyboard collection whose upper-cased path holds
    // `tag`; on a match stores the path and the model and returns true. On no
    // match g_szDevicePath keeps what it held and false is returned.
    bool FindDevicePath(std::string_view tag);
    // Opens g_szDevicePath; nullptr when it cannot be opened.
    std::shared_ptr<hid::Device> OpenDevice();
    // Finds and opens `tag`; nullptr when it is not found (a stale path from
    // an earlier search is never opened in its place) or cannot be opened.
    std::shared_ptr<hid::Device> FindAndOpen(std::string_view tag);
    // Collections 3, 4 and 6, in this order.
    void OpenDeviceHandles();
    // Closes command, data, matrix and input handles in this order.
    void CloseDeviceHandles();

    // Feature-report primitives. A false set (or get) is issued once more
    // when `repeat` is true; the second result is what is returned. GetReport
    // sets byte 0 to `reportId` before the call; on failure the buffer keeps
    // its previous contents (byte 0 aside).
    static bool SetReport(hid::Device* handle, const std::uint8_t* buffer, std::size_t length, bool repeat);
    static bool GetReport(hid::Device* handle, std::uint8_t reportId, std::uint8_t* buffer, std::size_t length,
                          bool repeat);

    // Start-up: opens collections 3, 4, 6, then 7 and starts the listener.
    // Returns false when the window should hide (collection 3 or 7 missing).
    bool OpenAtStartup();

    // Plug handling (the bus's plug events). Arrival: wait 100 ms; open the
    // handles when collection 3 is not open and report `arrived`; open
    // collection 7 and start the listener when it is not open. Removal: when
    // the keyboard's handles no longer work, stop the listener and close
    // every handle; the removal of another device leaves them open.
    // `waited`: the caller has let the 100 ms go by already (a window that
    // must not sleep waits on a timer instead).
    void OnDeviceArrival(bool waited = false);
    void OnDeviceRemoval();
    // Handles a batch from Bus::drainEvents: each run of events of one kind
    // counts once (one device brings several collections).
    void OnPlugEvents(const std::vector<hid::PlugEvent>& events, bool arrivalWaited = false);
    // The pause before an arrival is handled.
    static constexpr std::chrono::milliseconds kArrivalWait{100};

    bool listenerRunning() const { return listener_.running(); }
    // Sets g_bStopListen, waits 500 ms, closes the handles, joins the listener.
    void Shutdown();

    // True when collection 3 is open and its device has not gone away.
    bool connected() const;
    DeviceHandles handles() const { return {commandDev_, dataDev_, matrixDev_, ModelOf(model_)}; }

private:
    void startListener();

    hid::Bus& bus_;
    Events events_;
    PauseFn pause_;
    std::shared_ptr<hid::Device> commandDev_, dataDev_, matrixDev_, inputDev_;
    std::uint8_t model_ = kModelThird;
    std::string devicePath_;
    std::atomic<bool> stopListen_{false};
    InputListener listener_;
};

}  // namespace zr417
