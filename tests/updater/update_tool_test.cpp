#include "updater/update_tool.h"

#include "test_util.h"
#include "updater/hex_image.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <functional>

namespace zr417::updater {
namespace {

using emu::BootloaderEmulator;
using namespace std::chrono_literals;

class TestView : public ToolView {
public:
    StatusControl& SlotControl(int slot) override { return controls[static_cast<std::size_t>(slot)]; }
    void SetButtonStates(bool settings, bool update, bool exit, bool refresh) override
    {
        std::lock_guard lock(mutex);
        buttons = {settings, update, exit, refresh};
    }
    void SetCounterTexts(int success, int fail) override
    {
        std::lock_guard lock(mutex);
        counters = {success, fail};
    }
    void PostBurnIdle(bool ready) override
    {
        std::lock_guard lock(mutex);
        idle.push_back(ready);
        cv.notify_all();
    }
    // Waits (with a generous deadline against hangs) for the n-th idle post.
    bool WaitIdle(std::size_t n)
    {
        std::unique_lock lock(mutex);
        return cv.wait_for(lock, 20s, [&] { return idle.size() >= n; });
    }

    // Waits until `done` holds, re-checking on every idle post. The check
    // runs without the view's lock (it may take the tool lock).
    bool WaitUntil(const std::function<bool()>& done)
    {
        auto deadline = std::chrono::steady_clock::now() + 20s;
        while (!done()) {
            if (std::chrono::steady_clock::now() >= deadline) return false;
            std::unique_lock lock(mutex);
            cv.wait_for(lock, 5ms);
        }
        return true;
    }

    std::array<test::RecordingStatus, kSlotCount> controls;
    std::mutex mutex;
    std::condition_variable cv;
    std::array<bool, 4> buttons{true, true, true, true};
    std::pair<int, int> counters{-1, -1};
    std::vector<bool> idle;
};

// A wait the test can hold: the erase wait blocks while `hold` is set.
class HeldWait {
public:
    void operator()(std::chrono::milliseconds d)
    {
        std::unique_lock lock(mutex_);
        waits_.push_back(static_cast<int>(d.count()));
        cv_.notify_all();
        if (d == kEraseWait) cv_.wait(lock, [&] { return !hold_; });
    }
    void Hold(bool on)
    {
        std::lock_guard lock(mutex_);
        hold_ = on;
        cv_.notify_all();
    }
    bool WaitForEraseWaits(int n)
    {
        std::unique_lock lock(mutex_);
        return cv_.wait_for(lock, 20s, [&] { return std::count(waits_.begin(), waits_.end(), 2000) >= n; });
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<int> waits_;
    bool hold_ = false;
};

struct Station {
    test::TempDir dir;
    emu::EmulatedBus bus;
    TestView view;
    std::shared_ptr<HeldWait> wait = std::make_shared<HeldWait>();
    UpdateTool tool{bus, view};
    test::RecordingSink sink;

    explicit Station(const std::string& extraIni = "")
    {
        test::WriteText(dir.file("fw.hex"), test::HexOf(test::Pattern(5000)));
        tool.SetWaitFunction([w = wait](std::chrono::milliseconds d) { (*w)(d); });
        auto ini = IniFile::FromBytes(Bytes("[Firmware]\nPath=fw.hex\n[Device]\n" + extraIni));
        tool.LoadSettings(ini, dir.path(), sink);
    }
    static std::vector<std::uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }
    std::shared_ptr<BootloaderEmulator> Plug(std::uint8_t mark = 0)
    {
        auto d = std::make_shared<BootloaderEmulator>(mark);
        ports.push_back(bus.plug(d));
        return d;
    }
    void StartUp()
    {
        tool.Enumerate(true);
        tool.Enumerate(true);
        tool.AssignNewDevices();
        tool.SetAutoIncrease(true);
    }
    test::RecordingStatus& Slot(int k) { return view.controls[static_cast<std::size_t>(k)]; }
    std::vector<int> ports;
};

TEST(UpdateTool, StartsWithDefaultsWithoutConfigIni)
{
    test::TempDir dir;
    emu::EmulatedBus bus;
    TestView view;
    UpdateTool tool(bus, view);
    test::RecordingSink sink;
    tool.LoadSettings(IniFile::Load(dir.file("config.ini")), dir.path(), sink);
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].text, "Please select firmware!");
    for (int k = 0; k < kSlotCount; ++k) EXPECT_EQ(tool.serialEntry(k), k + 1);
    auto s = tool.settings();
    EXPECT_EQ(s.vid, 0x260Du);
    EXPECT_EQ(s.pid, 0x0015u);
    EXPECT_TRUE(s.autoIncrease);
    EXPECT_EQ(s.sensorIndex, 0);
    // The image was generated for a configured HEX file only.
    EXPECT_FALSE(std::filesystem::exists(dir.file("fw.bin")));
}

TEST(UpdateTool, TwoDevicesBurnInParallelAndSerialsAdvanceByTheCount)
{
    Station st;
    auto d1 = st.Plug();
    auto d2 = st.Plug(0x01);
    st.StartUp();
    EXPECT_EQ(st.tool.deviceCount(), 2);
    EXPECT_EQ(st.Slot(0).line1(), "Device1 Arrival");
    EXPECT_EQ(st.Slot(0).line2(), "TimesLeft:8");
    EXPECT_EQ(st.Slot(1).line1(), "Device2 Arrival");
    EXPECT_EQ(st.Slot(1).line2(), "TimesLeft:7");
    EXPECT_EQ(st.Slot(0).colour(), kYellow);
    EXPECT_EQ(st.tool.slotState(0), kSlotReady);

    st.tool.OnUpdate();
    EXPECT_EQ(st.view.buttons, (std::array<bool, 4>{false, true, false, false}));
    ASSERT_TRUE(st.view.WaitIdle(1));
    for (int k : {0, 1}) {
        EXPECT_EQ(st.Slot(k).line1(), "Successful");
        EXPECT_EQ(st.Slot(k).line2(), "退出软件,重新插拔");
        EXPECT_EQ(st.Slot(k).colour(), kGreen);
        EXPECT_EQ(st.tool.slotState(k), kSlotEmpty);
        EXPECT_TRUE(st.tool.slotInUse(k));
    }
    EXPECT_EQ(d1->serialNumber(), 1);
    EXPECT_EQ(d2->serialNumber(), 2);
    EXPECT_EQ(d1->sensorCode(), 1);
    auto expected = test::Pattern(5000);
    expected.resize(6144, 0);
    EXPECT_EQ(d1->image(), expected);
    EXPECT_EQ(st.tool.serialEntry(0), 3);
    EXPECT_EQ(st.tool.serialEntry(1), 4);
    EXPECT_EQ(st.tool.successCount(), 2);
    EXPECT_EQ(st.view.counters, (std::pair<int, int>{2, 0}));
    EXPECT_FALSE(st.view.idle.back());  // no ready slot left

    // A finished slot is not burned again until its device comes back.
    st.tool.OnUpdate();
    EXPECT_EQ(st.tool.slotState(0), kSlotEmpty);

    // Re-plug both: the next burns write 3 and 4.
    for (int port : st.ports) st.bus.unplug(port);
    st.tool.OnDeviceRemoval();
    EXPECT_EQ(st.Slot(0).line1(), "No device");
    EXPECT_EQ(st.Slot(0).colour(), kWhite);
    auto d3 = st.Plug();
    auto d4 = st.Plug();
    st.tool.OnDeviceArrival();
    st.tool.OnUpdate();
    ASSERT_TRUE(
        st.view.WaitUntil([&] { return d3->finishCount() == 1 && d4->finishCount() == 1 && !st.tool.AnyBurning(); }));
    EXPECT_EQ(d3->serialNumber(), 3);
    EXPECT_EQ(d4->serialNumber(), 4);
}

TEST(UpdateTool, ASeventeenthDeviceGetsNoSlot)
{
    Station st;
    std::vector<std::shared_ptr<BootloaderEmulator>> devices;
    for (int i = 0; i < 17; ++i) devices.push_back(st.Plug());
    st.StartUp();
    for (int k = 0; k < kSlotCount; ++k) EXPECT_TRUE(st.tool.slotInUse(k));
    st.tool.OnUpdate();
    ASSERT_TRUE(st.view.WaitIdle(1));
    // Only the 16 that the enumeration kept were burned (whichever the bus
    // listed last is left out).
    int burned = 0;
    for (auto& d : devices) burned += d->finishCount();
    EXPECT_EQ(burned, 16);
    EXPECT_EQ(st.tool.successCount(), 16);
}

TEST(UpdateTool, RemovalDuringABurnFreesTheSlotAndTheBurnFails)
{
    Station st;
    auto d = st.Plug();
    st.StartUp();
    st.wait->Hold(true);
    st.tool.OnUpdate();
    ASSERT_TRUE(st.wait->WaitForEraseWaits(1));

    st.bus.unplug(st.ports[0]);
    st.tool.OnDeviceRemoval();
    EXPECT_FALSE(st.tool.slotInUse(0));
    EXPECT_EQ(st.Slot(0).line1(), "No device");
    st.tool.AfterDeviceChange();
    // The freed slot no longer counts as burning, so Exit comes back.
    EXPECT_EQ(st.view.buttons, (std::array<bool, 4>{false, true, true, false}));

    st.wait->Hold(false);
    ASSERT_TRUE(st.view.WaitIdle(1));
    EXPECT_EQ(st.Slot(0).line1(), "Send data fail");
    EXPECT_EQ(st.Slot(0).colour(), kRed);
    EXPECT_EQ(st.tool.failCount(), 1);
    EXPECT_EQ(st.tool.slotState(0), kSlotEmpty);
    EXPECT_FALSE(st.tool.slotInUse(0));
    EXPECT_EQ(st.tool.serialEntry(0), 2);  // a failed burn uses up its number
}

TEST(UpdateTool, ASlotHandedToANewDeviceStopsTheRunningBurn)
{
    Station st;
    st.Plug();
    st.StartUp();
    st.wait->Hold(true);
    st.tool.OnUpdate();
    ASSERT_TRUE(st.wait->WaitForEraseWaits(1));

    st.bus.unplug(st.ports[0]);
    st.tool.OnDeviceRemoval();
    auto fresh = st.Plug();
    st.tool.OnDeviceArrival();
    EXPECT_EQ(st.tool.slotState(0), kSlotReady);

    st.wait->Hold(false);
    ASSERT_TRUE(st.view.WaitIdle(1));
    EXPECT_EQ(st.Slot(0).line1(), "Stop");
    EXPECT_EQ(st.Slot(0).colour(), kYellow);
    EXPECT_EQ(st.tool.slotState(0), kSlotReady);  // the new device's state is kept
    EXPECT_TRUE(st.view.idle.back());             // a ready slot is left
    EXPECT_EQ(st.tool.failCount(), 0);

    st.tool.OnUpdate();
    ASSERT_TRUE(st.view.WaitIdle(2));
    EXPECT_EQ(fresh->finishCount(), 1);
    EXPECT_EQ(fresh->serialNumber(), 2);
}

TEST(UpdateTool, ProbeResultsShowAndGuardTheBurn)
{
    Station st;
    auto silent = st.Plug();
    silent->setStatusByte0(0x00);
    auto spent = st.Plug(0xFF);
    st.StartUp();
    EXPECT_EQ(st.Slot(0).line1(), "Device1 Arrival");
    EXPECT_EQ(st.Slot(0).line2(), "");
    EXPECT_EQ(st.Slot(1).line2(), "TimesLeft:0");

    st.tool.OnUpdate();
    ASSERT_TRUE(st.view.WaitIdle(1));
    EXPECT_EQ(st.Slot(0).line1(), "Successful");
    EXPECT_EQ(st.Slot(1).line1(), "Left Num 0");
    EXPECT_EQ(st.Slot(1).colour(), kRed);
    EXPECT_EQ(spent->eraseCount(), 0);
    EXPECT_EQ(st.view.counters, (std::pair<int, int>{1, 1}));
}

TEST(UpdateTool, AKeyboardInNormalModeIsSentIntoItsBootloader)
{
    Station st("VID=7247\nPID=24004\nSerial number=0010\nsensor direct=3\n");
    auto keyboard = std::make_shared<test::NormalKeyboard>(0x1C4F, 0x5DC4, 8);
    st.bus.plug(keyboard);
    st.StartUp();
    ASSERT_EQ(keyboard->received.size(), 8u);
    EXPECT_EQ(keyboard->received[1], 0x75);
    // The bootloader's arrival event gives it a slot.
    auto events = st.bus.drainEvents();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(st.tool.slotInUse(0), true);  // the second start-up enumeration already saw it
    st.tool.OnDeviceArrival();
    EXPECT_FALSE(st.tool.slotInUse(1));
    st.tool.OnUpdate();
    ASSERT_TRUE(st.view.WaitIdle(1));
    auto bootloader = std::dynamic_pointer_cast<BootloaderEmulator>(st.bus.device(st.bus.ports().back()));
    ASSERT_TRUE(bootloader);
    EXPECT_EQ(bootloader->serialNumber(), 10);
    EXPECT_EQ(bootloader->sensorCode(), 4);
}

TEST(UpdateTool, WithoutAutoIncreaseTheSerialStays)
{
    Station st;
    st.Plug();
    st.tool.Enumerate(true);
    st.tool.AssignNewDevices();
    st.tool.SetAutoIncrease(false);
    st.tool.OnUpdate();
    ASSERT_TRUE(st.view.WaitIdle(1));
    EXPECT_EQ(st.tool.serialEntry(0), 1);
}

TEST(UpdateTool, UpdateWithoutReadySlotsChangesNothing)
{
    Station st;
    st.StartUp();
    st.view.buttons = {true, true, true, true};
    st.tool.OnUpdate();
    EXPECT_EQ(st.view.buttons, (std::array<bool, 4>{true, true, true, true}));
    st.tool.StartSlot(16);
    st.tool.StartSlot(-1);
    EXPECT_EQ(st.view.buttons, (std::array<bool, 4>{true, true, true, true}));
}

}  // namespace
}  // namespace zr417::updater
