#include "platform/hid_bus_factory.h"
#include "descriptors.h"
#include "device/device_link.h"
#include "device/emu/emulated_bus.h"
#include "device/protocol.h"
#include "platform/files.h"
#include "platform/hidraw_bus.h"
#include "sysfs_tree.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace zr417::testing {
namespace {

TEST(HidrawBusTest, ListsTheKeyboardCollectionsFromSysfs)
{
    SysfsTree tree;
    tree.addUsb("hidraw5", 0x260D, 0x0015, 1, "", testdata::KeyboardInterface1Descriptor());
    hidraw::HidrawBus bus(tree.root, tree.root / "dev");
    auto list = bus.enumerate();
    ASSERT_EQ(list.size(), 7u);

    DeviceLink link(bus, {}, [](auto) {});
    ASSERT_TRUE(link.FindDevicePath(kTagMatrix));
    EXPECT_EQ(link.g_nModel(), kModelQV420);
    EXPECT_NE(link.g_szDevicePath().find("HIDRAW5#VID_260D&PID_0015&MI_01&COL06"), std::string::npos);
    // There is no such device node: the open fails cleanly.
    EXPECT_EQ(link.OpenDevice(), nullptr);
    EXPECT_EQ(bus.open("no such path"), nullptr);
}

// A node that opens but answers no hidraw request, as one unplugged between
// the listing and the open does: the open fails, nothing crashes.
TEST(HidrawBusTest, NodeThatFailsItsFirstRequestDoesNotOpen)
{
    SysfsTree tree;
    tree.addUsb("hidraw5", 0x260D, 0x0015, 1, "", testdata::KeyboardInterface1Descriptor());
    std::filesystem::create_directories(tree.root / "dev");
    std::filesystem::create_symlink("/dev/null", tree.root / "dev" / "hidraw5");
    hidraw::HidrawBus bus(tree.root, tree.root / "dev");
    DeviceLink link(bus, {}, [](auto) {});
    ASSERT_TRUE(link.FindDevicePath(kTagCommand));
    EXPECT_EQ(link.OpenDevice(), nullptr);
}

struct StateHome {
    StateHome() { ::setenv("XDG_STATE_HOME", dir.c_str(), 1); }
    ~StateHome() { ::unsetenv("XDG_STATE_HOME"); }
    zr417::test::TempDir tmp{"state"};
    std::filesystem::path dir = tmp.path();
};

TEST(HidBusFactory, SimulatedKeyboardKeepsItsMemoryBetweenRuns)
{
    {
        // Without HOME (cron, some sudo set-ups) the account's own home still
        // holds it, never a folder in /tmp that another user could make first.
        std::string saved = std::getenv("HOME") ? std::getenv("HOME") : "";
        ::unsetenv("HOME");
        ::unsetenv("XDG_STATE_HOME");
        auto home = AccountHome();
        auto file = SimulatorStateFile("QV420");
        if (!saved.empty()) ::setenv("HOME", saved.c_str(), 1);
        ASSERT_TRUE(home);
        EXPECT_EQ(file, *home / ".local" / "state" / "zr417" / "sim-QV420.bin");
    }
    StateHome home;
    EXPECT_EQ(SimulatorStateFile("QV420"), home.dir / "zr417" / "sim-QV420.bin");
    ConfigImage image;
    image.settings[settings::Plane0 + 5] = 0xFA;
    {
        std::string error;
        auto bus = CreateHidBus("qv420", &error);
        ASSERT_TRUE(bus) << error;
        DeviceLink link(*bus, {}, [](auto) {});
        KeyboardProtocol protocol(link, image, [](auto) {});
        ASSERT_TRUE(link.OpenAtStartup());
        EXPECT_EQ(link.g_nModel(), kModelQV420);
        protocol.WriteKeyMatrix();
    }
    EXPECT_TRUE(std::filesystem::exists(home.dir / "zr417" / "sim-QV420.bin"));
    ConfigImage readBack;
    auto bus = CreateHidBus("QV420", nullptr);
    DeviceLink link(*bus, {}, [](auto) {});
    KeyboardProtocol protocol(link, readBack, [](auto) {});
    link.OpenDeviceHandles();
    protocol.ReadKeyMatrix();
    EXPECT_EQ(readBack.settings[settings::Plane0 + 5], 0xFA);
}

TEST(HidBusFactory, UnknownModelIsAnError)
{
    std::string error;
    EXPECT_EQ(CreateHidBus("QV999", &error), nullptr);
    EXPECT_NE(error.find("QV999"), std::string::npos);
}

TEST(HidBusFactory, ProviderServesSimulatedModels)
{
    StateHome home;
    std::string asked;
    SetSimulatorBusProvider([&](const std::string& model) -> std::unique_ptr<hid::Bus> {
        asked = model;
        return std::make_unique<emu::EmulatedBus>();
    });
    auto bus = CreateHidBus("oem", nullptr);
    SetSimulatorBusProvider(nullptr);
    ASSERT_TRUE(bus);
    EXPECT_EQ(asked, "OEM");
    EXPECT_TRUE(bus->enumerate().empty());
}

}  // namespace
}  // namespace zr417::testing
