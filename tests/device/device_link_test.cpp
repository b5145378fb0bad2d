#include "fixtures.h"
#include "platform/trace.h"

#include <gtest/gtest.h>

#include <thread>

#include <cctype>

namespace zr417::testing {
namespace {

// A keyboard that lacks some of its collections (others pass through).
class PartialKeyboard : public emu::EmulatedDevice {
public:
    PartialKeyboard(std::shared_ptr<emu::KeyboardEmulator> inner, std::vector<std::size_t> keep)
        : inner_(std::move(inner)), keep_(std::move(keep))
    {
    }
    std::uint16_t vendorId() const override { return inner_->vendorId(); }
    std::uint16_t productId() const override { return inner_->productId(); }
    std::vector<Collection> collections() const override
    {
        auto all = inner_->collections();
        std::vector<Collection> kept;
        for (auto i : keep_) kept.push_back(all[i]);
        return kept;
    }
    bool setFeature(std::size_t i, const std::uint8_t* d, std::size_t n) override
    {
        return inner_->setFeature(keep_[i], d, n);
    }
    bool getFeature(std::size_t i, std::uint8_t* d, std::size_t n) override
    {
        return inner_->getFeature(keep_[i], d, n);
    }

private:
    std::shared_ptr<emu::KeyboardEmulator> inner_;
    std::vector<std::size_t> keep_;
};

TEST(Discovery, EachAcceptedIdentityGivesItsModel)
{
    // One link meets each in turn, so a model left from the last match shows.
    emu::EmulatedBus bus;
    DeviceLink link(bus, {}, [](auto) {});
    for (auto [name, model] : {std::pair{"QV420", 2}, {"OEM", 0}, {"QV310", 1}, {"QV420", 2}}) {
        const int port = bus.plug(std::make_shared<emu::KeyboardEmulator>(Identity(name)));
        ASSERT_TRUE(link.FindDevicePath(kTagCommand)) << name;
        EXPECT_EQ(link.g_nModel(), model) << name;
        bus.unplug(port);
    }
}

TEST(Discovery, VendorWithAnotherProductIsRefused)
{
    emu::EmulatedBus bus;
    for (auto id : {KeyboardIdentity{0x1C4F, 0x1234, 1, "x"}, KeyboardIdentity{0x1C4F, 0x0015, 1, "x"},
                    KeyboardIdentity{0x260D, 0x5DC4, 2, "x"}})
        bus.plug(std::make_shared<emu::KeyboardEmulator>(id));
    DeviceLink link(bus, {}, [](auto) {});
    EXPECT_FALSE(link.FindDevicePath(kTagCommand));
    EXPECT_TRUE(link.g_szDevicePath().empty());
    // A miss keeps what the last match found.
    const int qv420 = bus.plug(std::make_shared<emu::KeyboardEmulator>(Identity("QV420")));
    ASSERT_TRUE(link.FindDevicePath(kTagCommand));
    const std::string path = link.g_szDevicePath();
    bus.unplug(qv420);
    EXPECT_FALSE(link.FindDevicePath(kTagCommand));
    EXPECT_EQ(link.g_szDevicePath(), path);
    EXPECT_EQ(link.g_nModel(), kModelQV420);
    link.OpenDeviceHandles();
    EXPECT_EQ(link.g_hCommandDev(), nullptr);
}

TEST(Discovery, LowerCaseSystemPathMatchesAndIsStoredUpperCased)
{
    EmulatedKeyboard kb;
    std::string systemPath = kb.bus.pathOf(kb.port, 0);
    ASSERT_NE(systemPath.find("mi_01&col03"), std::string::npos);  // the bus spells it in lower case
    DeviceLink link(kb.bus, {}, [](auto) {});
    ASSERT_TRUE(link.FindDevicePath(kTagCommand));
    std::string upper = systemPath;
    for (auto& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(link.g_szDevicePath(), upper);
    EXPECT_NE(link.OpenDevice(), nullptr);  // the bus maps the upper-cased path back
}

TEST(Discovery, OpenDeviceHandlesOpensEachCollectionOnItsOwnHandle)
{
    LinkFixture f;
    f.link.OpenDeviceHandles();
    ASSERT_TRUE(f.link.g_hCommandDev() && f.link.g_hDataDev() && f.link.g_hMatrixDev());
    EXPECT_EQ(f.link.g_hInputDev(), nullptr);  // opened separately
    std::array<std::uint8_t, 8> status{3, 0x51, 7, 0, 0, 0, 0, 0};
    EXPECT_TRUE(f.link.g_hCommandDev()->setFeature(status.data(), status.size()));
    std::array<std::uint8_t, 513> page{4};
    EXPECT_TRUE(f.link.g_hDataDev()->getFeature(page.data(), page.size()));
    std::array<std::uint8_t, 513> matrix{6};
    EXPECT_TRUE(f.link.g_hMatrixDev()->getFeature(matrix.data(), matrix.size()));
    // Like a hidraw handle, each takes every report its interface declares,
    // at its declared length only, and nothing else.
    std::array<std::uint8_t, 513> viaCommand{4};
    EXPECT_TRUE(f.link.g_hCommandDev()->getFeature(viaCommand.data(), viaCommand.size()));
    EXPECT_EQ(viaCommand, page);
    EXPECT_FALSE(f.link.g_hCommandDev()->getFeature(viaCommand.data(), 8));  // report 4 is 513 bytes long
    std::array<std::uint8_t, 8> undeclared{9, 0x51};
    EXPECT_FALSE(f.link.g_hDataDev()->setFeature(undeclared.data(), undeclared.size()));
    EXPECT_EQ(f.keyboard->counters().sets, 1);  // the refused reports never reached the keyboard
}

TEST(Discovery, MissingCollectionIsNeverOpenedFromAStalePath)
{
    emu::EmulatedBus bus;
    auto inner = std::make_shared<emu::KeyboardEmulator>(Identity("QV420"));
    bus.plug(std::make_shared<PartialKeyboard>(inner, std::vector<std::size_t>{0, 1, 3}));  // no collection 6
    DeviceLink link(bus, {}, [](auto) {});
    link.OpenDeviceHandles();
    EXPECT_NE(link.g_hCommandDev(), nullptr);
    EXPECT_NE(link.g_hDataDev(), nullptr);
    EXPECT_EQ(link.g_hMatrixDev(), nullptr);
    EXPECT_NE(link.g_szDevicePath().find("COL04"), std::string::npos);  // kept from the last match
}

TEST(Transport, FailedSetIsRepeatedOnceWhenAsked)
{
    LinkFixture f;
    f.link.OpenDeviceHandles();
    std::array<std::uint8_t, 8> r{3, 0x4D, 1, 0, 0, 0, 0, 0};

    f.keyboard->faults().refuseSet = {1};
    EXPECT_TRUE(DeviceLink::SetReport(f.link.g_hCommandDev().get(), r.data(), r.size(), true));
    EXPECT_EQ(f.keyboard->counters().sets, 2);
    EXPECT_EQ(f.keyboard->selectedPage(), 1);

    f.keyboard->faults().refuseSet = {1};
    r[2] = 2;
    EXPECT_FALSE(DeviceLink::SetReport(f.link.g_hCommandDev().get(), r.data(), r.size(), false));
    EXPECT_EQ(f.keyboard->counters().sets, 3);
    EXPECT_EQ(f.keyboard->selectedPage(), 1);

    f.keyboard->faults().refuseSet = {2};
    EXPECT_FALSE(DeviceLink::SetReport(f.link.g_hCommandDev().get(), r.data(), r.size(), true));
    EXPECT_EQ(f.keyboard->counters().sets, 5);
    EXPECT_FALSE(DeviceLink::SetReport(nullptr, r.data(), r.size(), true));
}

TEST(Transport, GetSetsTheReportIdAndKeepsTheBufferOnFailure)
{
    LinkFixture f;
    f.link.OpenDeviceHandles();
    std::array<std::uint8_t, 513> page;
    page.fill(0xEE);
    f.keyboard->faults().refuseGet = {2};
    EXPECT_FALSE(DeviceLink::GetReport(f.link.g_hDataDev().get(), 4, page.data(), page.size(), true));
    EXPECT_EQ(page[0], 4);
    EXPECT_EQ(page[1], 0xEE);
    EXPECT_TRUE(DeviceLink::GetReport(f.link.g_hDataDev().get(), 4, page.data(), page.size(), true));
    EXPECT_EQ(page[1], 0);
}

TEST(Plugging, StartupWithoutKeyboardHidesThenArrivalOpensAndReadsOut)
{
    emu::EmulatedBus bus;
    int arrivals = 0;
    DeviceLink link(bus, {[&] { ++arrivals; }, {}, {}}, [](auto) {});
    EXPECT_FALSE(link.OpenAtStartup());
    EXPECT_FALSE(link.listenerRunning());

    bus.plug(std::make_shared<emu::KeyboardEmulator>(Identity("QV310")));
    TraceCapture trace;
    link.OnPlugEvents(bus.drainEvents());
    EXPECT_EQ(arrivals, 1);
    EXPECT_EQ(trace.count("Device arrival\n"), 1);  // four collections, one arrival
    EXPECT_TRUE(link.g_hCommandDev() && link.g_hDataDev() && link.g_hMatrixDev() && link.g_hInputDev());
    EXPECT_EQ(link.g_nModel(), 1);
    EXPECT_TRUE(link.listenerRunning());
    EXPECT_FALSE(link.g_bStopListen());
}

TEST(Plugging, SecondArrivalChangesNothing)
{
    LinkFixture f;
    ASSERT_TRUE(f.link.OpenAtStartup());
    auto command = f.link.g_hCommandDev();
    auto input = f.link.g_hInputDev();
    f.link.OnDeviceArrival();
    EXPECT_EQ(f.arrivals, 0);
    EXPECT_EQ(f.link.g_hCommandDev(), command);
    EXPECT_EQ(f.link.g_hInputDev(), input);
    EXPECT_TRUE(f.link.listenerRunning());
    EXPECT_EQ(f.pausedMs, 100);  // the arrival's own wait
}

TEST(Plugging, RemovalOfAnotherDeviceKeepsTheKeyboardsHandles)
{
    LinkFixture f;
    class Mouse : public emu::EmulatedDevice {
        std::uint16_t vendorId() const override { return 0x046D; }
        std::uint16_t productId() const override { return 0xC077; }
        std::vector<Collection> collections() const override { return {Collection{0, 1, 1, 2, {}}}; }
        bool setFeature(std::size_t, const std::uint8_t*, std::size_t) override { return false; }
        bool getFeature(std::size_t, std::uint8_t*, std::size_t) override { return false; }
    };
    int mouse = f.bus.plug(std::make_shared<Mouse>());
    f.bus.drainEvents();
    ASSERT_TRUE(f.link.OpenAtStartup());
    ASSERT_TRUE(f.link.listenerRunning());

    TraceCapture trace;
    auto command = f.link.g_hCommandDev();
    f.bus.unplug(mouse);
    f.link.OnPlugEvents(f.bus.drainEvents());
    EXPECT_EQ(trace.text(), "Device DBT_DEVICEREMOVECOMPLETE\nDBT_DEVICEREMOVECOMPLETE\n");
    // The keyboard's handles still work, so they stay open and in use.
    EXPECT_FALSE(f.link.g_bStopListen());
    EXPECT_TRUE(f.link.listenerRunning());
    EXPECT_EQ(f.link.g_hCommandDev(), command);
    EXPECT_TRUE(f.link.g_hDataDev() && f.link.g_hMatrixDev() && f.link.g_hInputDev());

    // A later arrival changes nothing either.
    f.link.OnDeviceArrival();
    EXPECT_EQ(f.arrivals, 0);
    EXPECT_EQ(f.link.g_hCommandDev(), command);
}

TEST(Plugging, RemovingTheKeyboardClosesEveryHandle)
{
    LinkFixture f;
    ASSERT_TRUE(f.link.OpenAtStartup());
    std::weak_ptr<hid::Device> input = f.link.g_hInputDev();
    f.bus.unplug(f.port);
    f.link.OnPlugEvents(f.bus.drainEvents());
    EXPECT_TRUE(f.link.g_bStopListen());
    EXPECT_FALSE(f.link.listenerRunning());
    EXPECT_FALSE(f.link.g_hCommandDev() || f.link.g_hDataDev() || f.link.g_hMatrixDev() || f.link.g_hInputDev());
    // The listener lets go of collection 7 as its loop ends, not at the next
    // start: nothing keeps the gone keyboard's input handle open.
    for (int i = 0; i < 500 && !input.expired(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_TRUE(input.expired());
}

TEST(Plugging, ReplugAfterUnplugRunsOneArrival)
{
    LinkFixture f;
    ASSERT_TRUE(f.link.OpenAtStartup());
    f.bus.unplug(f.port);
    f.port = f.bus.plug(f.keyboard);
    f.link.OnPlugEvents(f.bus.drainEvents());  // four removals, then four arrivals
    EXPECT_EQ(f.arrivals, 1);
    ASSERT_TRUE(f.link.g_hCommandDev());
    EXPECT_TRUE(f.link.g_hCommandDev()->connected());
    EXPECT_TRUE(f.link.listenerRunning());
}

TEST(Plugging, ShutdownStopsAndCloses)
{
    LinkFixture f;
    ASSERT_TRUE(f.link.OpenAtStartup());
    f.link.Shutdown();
    EXPECT_FALSE(f.link.listenerRunning());
    EXPECT_EQ(f.link.g_hCommandDev(), nullptr);
    EXPECT_EQ(f.pausedMs, 500);
}

}  // namespace
}  // namespace zr417::testing
