// The update tool's slot bookkeeping and workers, apart from its window: 16
// device slots, each with its own worker thread that burns the slot's device
// when woken, the tool lock, the serial numbers and the outcome counters.
// The window (or zr417ctl) supplies a ToolView and drives it from its thread.
#pragma once

#include "device/hid.h"
#include "updater/flashing.h"
#include "updater/ini_file.h"
#include "updater/tool_settings.h"
#include "updater/tool_ui.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace zr417::updater {

// What the slot bookkeeping needs of the window.
class ToolView {
public:
    virtual ~ToolView() = default;
    // The status control of a slot; the same object for the tool's life.
    virtual StatusControl& SlotControl(int slot) = 0;
    // Button states; called on the thread that drives the tool.
    virtual void SetButtonStates(bool settings, bool update, bool exit, bool refresh) = 0;
    // Called from worker threads: the counter texts changed, and a worker
    // found no slot burning any more (with or without a ready slot left).
    virtual void SetCounterTexts(int success, int fail) = 0;
    virtual void PostBurnIdle(bool readySlotLeft) = 0;
};

// Slot states.
constexpr int kSlotEmpty = -1;  // empty, or finished
constexpr int kSlotReady = 0;
constexpr int kSlotBurning = 1;

class UpdateTool : public BurnHost {
public:
    using WaitFunction = std::function<void(std::chrono::milliseconds)>;

    UpdateTool(hid::Bus& bus, ToolView& view);
    ~UpdateTool() override;  // asks running burns to stop and joins the workers

    UpdateTool(const UpdateTool&) = delete;
    UpdateTool& operator=(const UpdateTool&) = delete;

    // Replaces the burns' fixed waits (tests). Set before the workers start.
    void SetWaitFunction(WaitFunction wait) { wait_ = std::move(wait); }

    // The tool's language: 0 English, 1 Simplified, 2 Traditional Chinese.
    void SetLanguage(int language) { language_ = language; }

    // Start-up: reads the settings, checks the firmware file (message boxes
    // through `sink`), starts the workers and fills the serial table.
    void LoadSettings(const IniFile& ini, const std::filesystem::path& toolDir, MessageSink& sink);
    void CreateBurnWorkers();

    // Runs one enumeration with the configured identity; the device count
    // (the serial step) is updated when `updateCount`.
    int Enumerate(bool updateCount);
    void AssignNewDevices();
    void ReleaseMissingDevices();
    void OnUpdate();
    void StartSlot(int slot);
    void OnRefresh();
    void OnDeviceArrival();
    void OnDeviceRemoval();
    void AfterDeviceChange();  // button states after every device event
    void OnBurnIdle();         // button states when the workers are idle

    void SetAutoIncrease(bool on) { autoIncrease_ = on; }
    // Whether the configured firmware's image may be burned. Off after its
    // conversion failed: burns then fail with "Open file fail", even where an
    // old image could not be removed.
    void SetImageReady(bool ready);
    // Settings OK: the values that take effect at once.
    void ApplySettings(const std::string& firmwarePath, std::uint16_t vid, std::uint16_t pid, bool autoIncrease,
                       int sensorIndex);

    // Reading the state (any thread).
    ToolSettings settings() const;
    std::string firmwarePath() const;
    int deviceCount() const;
    int slotState(int slot) const;
    bool slotInUse(int slot) const;
    std::string slotDataPath(int slot) const;
    std::int64_t serialEntry(int slot) const;
    int successCount() const;
    int failCount() const;
    ProbeResult probeResult(int slot) const;
    bool AnyBurning() const;
    const FoundDevices& found() const { return found_; }  // driving thread only

    // BurnHost
    bool IsStopRequested(int slot) override;
    ProbeResult RecordedProbe(int slot) override;
    int Language() override { return language_; }
    void Wait(std::chrono::milliseconds duration) override;

private:
    // An auto-reset event.
    struct WakeEvent {
        std::mutex mutex;
        std::condition_variable cv;
        bool signalled = false;
    };
    struct SlotJob {
        std::string dataPath;
        std::string commandPath;
        std::int8_t slot = -1;
        StatusControl* statusControl = nullptr;
        WakeEvent wake;
    };

    void BurnWorker(int slot);
    void RunBurn(BurnJob& job);
    void Signal(WakeEvent& event);
    bool WaitForWake(WakeEvent& event);  // false when the tool is closing
    bool AnyBurningLocked() const;

    hid::Bus& bus_;
    ToolView& view_;
    WaitFunction wait_;
    std::atomic<int> language_{0};

    // The tool lock and what it guards.
    mutable std::mutex toolLock_;
    int g_slotState[kSlotCount];
    bool g_slotInUse[kSlotCount];
    SlotJob g_slotJobs[kSlotCount];
    int g_nSuccess = 0;
    int g_nFail = 0;
    SerialTable serials_;
    ProbeResult probes_[kSlotCount];
    std::string slotData_[kSlotCount];
    std::string slotCommand_[kSlotCount];
    int deviceCount_ = 0;
    ToolSettings settings_;
    bool imageReady_ = true;

    // Read by the workers without the lock.
    std::atomic<bool> autoIncrease_{true};
    std::atomic<int> sensorIndex_{0};

    FoundDevices found_;

    std::atomic<bool> quitting_{false};
    std::mutex quitMutex_;
    std::condition_variable quitCv_;
    std::thread workers_[kSlotCount];
    bool workersStarted_ = false;
};

}  // namespace zr417::updater
