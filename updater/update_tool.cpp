#include "updater/update_tool.h"

#include "updater/hex_image.h"
#include "updater/tool_texts.h"

#include <algorithm>
#include <cctype>

namespace zr417::updater {

namespace {

bool EqualNoCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

bool ValidSlot(int slot)
{
    return slot >= 0 && slot < kSlotCount;
}

}  // namespace

UpdateTool::UpdateTool(hid::Bus& bus, ToolView& view) : bus_(bus), view_(view)
{
    std::fill(std::begin(g_slotState), std::end(g_slotState), kSlotEmpty);
    std::fill(std::begin(g_slotInUse), std::end(g_slotInUse), false);
    serials_.Fill(1);
}

UpdateTool::~UpdateTool()
{
    {
        std::lock_guard lock(quitMutex_);
        quitting_ = true;
    }
    quitCv_.notify_all();
    for (auto& job : g_slotJobs) {
        std::lock_guard lock(job.wake.mutex);
        job.wake.cv.notify_all();
    }
    for (auto& worker : workers_)
        if (worker.joinable()) worker.join();
}

void UpdateTool::LoadSettings(const IniFile& ini, const std::filesystem::path& toolDir, MessageSink& sink)
{
    ToolSettings s = ReadToolSettings(ini, toolDir);
    FirmwareStartupCheck(s.firmwarePath, language_, sink);
    CreateBurnWorkers();
    {
        std::lock_guard lock(toolLock_);
        settings_ = s;
        serials_.Fill(s.baseSerial);
    }
    autoIncrease_ = s.autoIncrease;
    sensorIndex_ = s.sensorIndex;
}

void UpdateTool::CreateBurnWorkers()
{
    if (workersStarted_) return;
    workersStarted_ = true;
    for (int k = 0; k < kSlotCount; ++k) {
        {
            std::lock_guard lock(toolLock_);
            g_slotJobs[k].dataPath.clear();
            g_slotJobs[k].slot = -1;
            g_slotJobs[k].statusControl = nullptr;
        }
        workers_[k] = std::thread([this, k] { BurnWorker(k); });
    }
}

int UpdateTool::Enumerate(bool updateCount)
{
    std::uint32_t vid, pid;
    {
        std::lock_guard lock(toolLock_);
        vid = settings_.vid;
        pid = settings_.pid;
    }
    int count = EnumerateDevices(bus_, static_cast<std::uint16_t>(vid), static_cast<std::uint16_t>(pid), found_);
    if (updateCount) {
        std::lock_guard lock(toolLock_);
        deviceCount_ = count;
    }
    return count;
}

void UpdateTool::AssignNewDevices()
{
    for (std::size_t i = 0; i < found_.data.size(); ++i) {
        const std::string& entry = found_.data[i];
        if (entry.empty()) continue;
        bool known = false;
        {
            std::lock_guard lock(toolLock_);
            for (const auto& path : slotData_) known = known || EqualNoCase(path, entry);
        }
        if (known) continue;
        for (int k = 0; k < kSlotCount; ++k) {
            // The probe runs under the lock, as the slot must not change
            // hands while its device is asked.
            std::lock_guard lock(toolLock_);
            if (g_slotInUse[k]) continue;
            g_slotInUse[k] = true;
            g_slotState[k] = kSlotReady;
            slotData_[k] = entry;
            slotCommand_[k] = found_.command[i];
            probes_[k] = ProbeDevice(bus_, entry);
            StatusControl& control = view_.SlotControl(k);
            control.SetLine1(FormatText(ToolText::DeviceArrival, language_, k + 1));
            control.SetLine2(probes_[k].answered ? FormatText(ToolText::TimesLeft, language_, probes_[k].cyclesLeft)
                                                 : std::string());
            control.SetColour(kYellow);
            control.Redraw(false);
            break;
        }
    }
}

void UpdateTool::ReleaseMissingDevices()
{
    for (int k = 0; k < kSlotCount; ++k) {
        std::lock_guard lock(toolLock_);
        if (slotData_[k].empty()) continue;
        bool present = std::any_of(found_.data.begin(), found_.data.end(),
                                   [&](const std::string& p) { return EqualNoCase(p, slotData_[k]); });
        if (present) continue;
        g_slotInUse[k] = false;
        g_slotState[k] = kSlotEmpty;
        slotData_[k].clear();
        probes_[k] = {};
        StatusControl& control = view_.SlotControl(k);
        control.SetLine1(Text(ToolText::NoDevice, language_));
        control.SetLine2("");
        control.SetColour(kWhite);
        control.Redraw(false);
    }
}

void UpdateTool::OnUpdate()
{
    for (int k = 0; k < kSlotCount; ++k) {
        bool start;
        {
            std::lock_guard lock(toolLock_);
            start = g_slotInUse[k] && g_slotState[k] == kSlotReady;
        }
        if (start) StartSlot(k);
    }
}

void UpdateTool::StartSlot(int slot)
{
    if (!ValidSlot(slot)) return;
    std::lock_guard lock(toolLock_);
    g_slotState[slot] = kSlotBurning;
    SlotJob& job = g_slotJobs[slot];
    job.dataPath = slotData_[slot];
    job.commandPath = slotCommand_[slot];
    job.slot = static_cast<std::int8_t>(slot);
    job.statusControl = &view_.SlotControl(slot);
    view_.SetButtonStates(false, true, false, false);
    Signal(job.wake);
}

void UpdateTool::OnRefresh()
{
    Enumerate(true);
    Enumerate(true);
    AssignNewDevices();
}

void UpdateTool::OnDeviceArrival()
{
    Enumerate(true);
    AssignNewDevices();
}

void UpdateTool::OnDeviceRemoval()
{
    Enumerate(false);
    ReleaseMissingDevices();
}

void UpdateTool::AfterDeviceChange()
{
    bool burning = AnyBurning();
    view_.SetButtonStates(false, true, !burning, false);
}

void UpdateTool::OnBurnIdle()
{
    view_.SetButtonStates(false, true, true, false);
}

void UpdateTool::ApplySettings(const std::string& firmwarePath, std::uint16_t vid, std::uint16_t pid, bool autoIncrease,
                               int sensorIndex)
{
    {
        std::lock_guard lock(toolLock_);
        settings_.firmwarePath = firmwarePath;
        settings_.vid = vid;
        settings_.pid = pid;
        settings_.autoIncrease = autoIncrease;
        settings_.sensorIndex = sensorIndex;
    }
    autoIncrease_ = autoIncrease;
    sensorIndex_ = sensorIndex;
}

void UpdateTool::SetImageReady(bool ready)
{
    std::lock_guard lock(toolLock_);
    imageReady_ = ready;
}

ToolSettings UpdateTool::settings() const
{
    std::lock_guard lock(toolLock_);
    ToolSettings s = settings_;
    s.autoIncrease = autoIncrease_;
    s.sensorIndex = sensorIndex_;
    return s;
}

std::string UpdateTool::firmwarePath() const
{
    std::lock_guard lock(toolLock_);
    return settings_.firmwarePath;
}

int UpdateTool::deviceCount() const
{
    std::lock_guard lock(toolLock_);
    return deviceCount_;
}

int UpdateTool::slotState(int slot) const
{
    std::lock_guard lock(toolLock_);
    return ValidSlot(slot) ? g_slotState[slot] : kSlotEmpty;
}

bool UpdateTool::slotInUse(int slot) const
{
    std::lock_guard lock(toolLock_);
    return ValidSlot(slot) && g_slotInUse[slot];
}

std::string UpdateTool::slotDataPath(int slot) const
{
    std::lock_guard lock(toolLock_);
    return ValidSlot(slot) ? slotData_[slot] : std::string();
}

std::int64_t UpdateTool::serialEntry(int slot) const
{
    std::lock_guard lock(toolLock_);
    return ValidSlot(slot) ? serials_.entry(slot) : 0;
}

int UpdateTool::successCount() const
{
    std::lock_guard lock(toolLock_);
    return g_nSuccess;
}

int UpdateTool::failCount() const
{
    std::lock_guard lock(toolLock_);
    return g_nFail;
}

ProbeResult UpdateTool::probeResult(int slot) const
{
    std::lock_guard lock(toolLock_);
    return ValidSlot(slot) ? probes_[slot] : ProbeResult{};
}

bool UpdateTool::AnyBurning() const
{
    std::lock_guard lock(toolLock_);
    return AnyBurningLocked();
}

bool UpdateTool::AnyBurningLocked() const
{
    return std::any_of(std::begin(g_slotState), std::end(g_slotState), [](int s) { return s == kSlotBurning; });
}

bool UpdateTool::IsStopRequested(int slot)
{
    if (quitting_) return true;
    std::lock_guard lock(toolLock_);
    return ValidSlot(slot) && g_slotState[slot] == kSlotReady;
}

ProbeResult UpdateTool::RecordedProbe(int slot)
{
    return probeResult(slot);
}

void UpdateTool::Wait(std::chrono::milliseconds duration)
{
    if (wait_) {
        wait_(duration);
        return;
    }
    // A real wait that ends early when the tool closes.
    std::unique_lock lock(quitMutex_);
    quitCv_.wait_for(lock, duration, [this] { return quitting_.load(); });
}

void UpdateTool::Signal(WakeEvent& event)
{
    {
        std::lock_guard lock(event.mutex);
        event.signalled = true;
    }
    event.cv.notify_one();
}

bool UpdateTool::WaitForWake(WakeEvent& event)
{
    std::unique_lock lock(event.mutex);
    event.cv.wait(lock, [&] { return event.signalled || quitting_; });
    event.signalled = false;  // auto-reset
    return !quitting_;
}

void UpdateTool::BurnWorker(int slot)
{
    SlotJob& slotJob = g_slotJobs[slot];
    while (WaitForWake(slotJob.wake)) {
        const bool increase = autoIncrease_;
        BurnJob job;
        {
            std::lock_guard lock(toolLock_);
            job.dataPath = slotJob.dataPath;
            job.commandPath = slotJob.commandPath;
            job.slot = slotJob.slot;
            job.statusControl = slotJob.statusControl;
            job.serial = static_cast<std::uint32_t>(serials_.entry(slot));
        }
        RunBurn(job);
        if (increase) {
            std::lock_guard lock(toolLock_);
            serials_.Advance(slot, deviceCount_);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));

        bool burning;
        {
            std::lock_guard lock(toolLock_);
            // A slot handed to a new device during the burn keeps that
            // device's state.
            if (g_slotState[slot] == kSlotBurning) g_slotState[slot] = kSlotEmpty;
            burning = AnyBurningLocked();
        }
        if (burning || quitting_) continue;
        bool ready;
        {
            std::lock_guard lock(toolLock_);
            ready = std::any_of(std::begin(g_slotState), std::end(g_slotState), [](int s) { return s == kSlotReady; });
        }
        view_.PostBurnIdle(ready);
    }
}

void UpdateTool::RunBurn(BurnJob& job)
{
    job.sensorCode = sensorIndex_ + 1;
    job.increase = autoIncrease_;
    {
        std::lock_guard lock(toolLock_);
        if (imageReady_) job.imagePath = MakeImagePath(settings_.firmwarePath);
        job.pid = static_cast<std::uint16_t>(settings_.pid);
        job.vid = static_cast<std::uint16_t>(settings_.vid);
    }
    BurnOutcome outcome = DoBurn(bus_, *this, job);
    StatusControl& control = job.statusControl ? *job.statusControl : view_.SlotControl(job.slot);
    switch (outcome) {
        case BURN_OK: {
            std::lock_guard lock(toolLock_);
            ++g_nSuccess;
        }
            control.SetLine1(Text(ToolText::Successful, language_));
            control.SetLine2(kSuccessLine2);
            control.SetColour(kGreen);
            break;
        case BURN_STOPPED:
            control.SetLine1(Text(ToolText::Stop, language_));
            control.SetColour(kYellow);
            break;
        case BURN_FAILED: {
            std::lock_guard lock(toolLock_);
            ++g_nFail;
        }
            control.SetColour(kRed);
            break;
    }
    control.Redraw(false);
    std::lock_guard lock(toolLock_);
    view_.SetCounterTexts(g_nSuccess, g_nFail);
}

}  // namespace zr417::updater
