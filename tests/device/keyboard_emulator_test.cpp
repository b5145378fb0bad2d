#include "config/keys.h"
#include "device/input_listener.h"
#include "fixtures.h"
#include "platform/files.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <filesystem>

namespace zr417::testing {
namespace {

namespace fs = std::filesystem;

std::array<std::uint8_t, 8> ask(hid::Device& command, std::array<std::uint8_t, 8> request)
{
    EXPECT_TRUE(command.setFeature(request.data(), request.size()));
    std::array<std::uint8_t, 8> reply{3};
    EXPECT_TRUE(command.getFeature(reply.data(), reply.size()));
    return reply;
}

TEST(KeyboardEmulator, StatusReplyCarriesVersionFlagsAndPower)
{
    LinkFixture f;
    f.link.OpenDeviceHandles();
    auto& cmd = *f.link.g_hCommandDev();
    f.keyboard->setFirmwareVersion(3, 9);
    ask(cmd, {3, 0x50, 0, 0x01, 0, 0, 0, 0});  // Win Lock on, Game Mode on
    EXPECT_EQ(ask(cmd, {3, 0x51, 7, 0, 0, 0, 0, 0}), (std::array<std::uint8_t, 8>{3, 0x51, 7, 0, 3, 9, 0, 0x01}));
    EXPECT_EQ(ask(cmd, {3, 0x51, 7, 0x5A, 0, 0, 0, 0})[7] & 1, 1);  // LED off
    ask(cmd, {3, 0x50, 0, 0x02, 0, 0, 0, 0});                       // Win Lock off, Game Mode off
    EXPECT_EQ(ask(cmd, {3, 0x51, 7, 0x5A, 0, 0, 0, 0})[7], 0x03);
    EXPECT_EQ(ask(cmd, {3, 0x51, 7, 0xA5, 0, 0, 0, 0})[7], 0x02);  // LED on
    EXPECT_EQ(ask(cmd, {3, 0x51, 7, 0, 0, 0, 0, 0})[7], 0x02);
}

TEST(KeyboardEmulator, GroupAndPageReadsReturnWhatWasLastWritten)
{
    LinkFixture f;
    f.link.OpenDeviceHandles();
    auto& cmd = *f.link.g_hCommandDev();
    std::array<std::uint8_t, 8> group{3, 0x53, 6, 1, 2, 3, 4, 5};
    ask(cmd, group);
    EXPECT_EQ(ask(cmd, {3, 0x51, 6, 0, 0, 0, 0, 0}), group);

    std::array<std::uint8_t, 513> page{4};
    Noise(page.data() + 1, 512, 1);
    ask(cmd, {3, 0x4D, 0x12, 0, 0, 0, 0, 0});
    ASSERT_TRUE(f.link.g_hDataDev()->setFeature(page.data(), page.size()));
    ask(cmd, {3, 0x4D, 0x02, 0, 0, 0, 0, 0});
    std::array<std::uint8_t, 513> back{4};
    ASSERT_TRUE(f.link.g_hDataDev()->getFeature(back.data(), back.size()));
    EXPECT_NE(back, page);
    ask(cmd, {3, 0x4D, 0x12, 0, 0, 0, 0, 0});
    ASSERT_TRUE(f.link.g_hDataDev()->getFeature(back.data(), back.size()));
    EXPECT_EQ(back, page);
    EXPECT_FALSE(f.link.g_hDataDev()->setFeature(page.data(), 512));  // short report
}

TEST(KeyboardEmulator, ResetRestoresFactoryMemoryButKeepsTheFirmware)
{
    LinkFixture f("QV310");
    f.link.OpenDeviceHandles();
    auto factory = emu::KeyboardEmulator::FactoryMemory(kModelQV310);
    EXPECT_EQ(factory.groups[0][3], 0);  // Static on the first model
    EXPECT_EQ(factory.groups[0][6], 7);  // white
    EXPECT_EQ(emu::KeyboardEmulator::FactoryMemory(kModelQV420).groups[0][3], 8);
    for (int key = 0; key < kKeyCount; ++key)
        EXPECT_EQ(factory.matrix[g_matrixPosByKey[key]], KeyCode(g_defaultVkByKey[key])) << key;

    auto changed = factory;
    changed.matrix[0] = 0xFA;
    changed.pages[3][0] = 9;
    f.keyboard->setMemory(changed);
    f.keyboard->setFirmwareVersion(2, 4);
    ask(*f.link.g_hCommandDev(), {3, 0x52, 0x5A, 0, 0, 0, 0, 0});
    auto after = f.keyboard->memory();
    EXPECT_EQ(after.fwMajor, 2);
    EXPECT_EQ(after.fwMinor, 4);
    after.fwMajor = factory.fwMajor;
    after.fwMinor = factory.fwMinor;
    EXPECT_EQ(after, factory);
}

TEST(KeyboardEmulator, EveryInputBitMapsBackToItsCode)
{
    int keysWithBit = 0;
    for (int key = 0; key < kKeyCount; ++key) {
        std::uint8_t code = KeyCode(g_defaultVkByKey[key]);
        if (auto bit = emu::KeyboardEmulator::InputBitForCode(code)) {
            ++keysWithBit;
            EXPECT_EQ(g_positionCodes[bit->first - 1][bit->second], code);
        }
    }
    EXPECT_GT(keysWithBit, 90);
    EXPECT_FALSE(emu::KeyboardEmulator::InputBitForCode(0));
}

TEST(KeyboardEmulator, MemoryPersistsAcrossRunsPerModel)
{
    zr417::test::TempDir dir{"emu"};
    auto file = dir.path() / "state" / "sim-QV420.bin";
    auto changed = emu::KeyboardEmulator::FactoryMemory(kModelQV420);
    Noise(changed.pages[0x11].data(), 512, 5);
    changed.statusFlags = 1;
    {
        emu::KeyboardEmulator first(Identity("QV420"));
        first.persistTo(file);
        first.setMemory(changed);
        first.setFirmwareVersion(1, 7);
    }  // written on destruction
    changed.fwMajor = 1;
    changed.fwMinor = 7;
    {
        emu::KeyboardEmulator second(Identity("QV420"));
        second.persistTo(file);
        EXPECT_EQ(second.memory(), changed);
    }
    emu::KeyboardEmulator other(Identity("QV310"));  // another model's file is not taken
    other.persistTo(file);
    EXPECT_EQ(other.memory(), emu::KeyboardEmulator::FactoryMemory(kModelQV310));

    for (std::size_t size : {std::size_t(0), std::size_t(100)}) {  // a damaged file gives a factory keyboard
        std::vector<std::uint8_t> junk(size, 0x33);
        ASSERT_TRUE(WriteFileAtomic(dir.path() / "junk.bin", junk));
        emu::KeyboardEmulator damaged(Identity("QV420"));
        damaged.persistTo(dir.path() / "junk.bin");
        EXPECT_EQ(damaged.memory(), emu::KeyboardEmulator::FactoryMemory(kModelQV420));
    }
}

class Successor : public emu::EmulatedDevice {
    std::uint16_t vendorId() const override { return 0x0603; }
    std::uint16_t productId() const override { return 0x1020; }
    std::vector<Collection> collections() const override { return {Collection{0, 1, 0xFF00, 1, {{5, 6, 0, 0}}}}; }
    bool setFeature(std::size_t, const std::uint8_t*, std::size_t) override { return true; }
    bool getFeature(std::size_t, std::uint8_t*, std::size_t) override { return true; }
};

TEST(KeyboardEmulator, BootloaderEntryHandsOverToTheSuccessor)
{
    LinkFixture f;
    int made = 0;
    f.keyboard->setBootloaderFactory([&] {
        ++made;
        return std::make_shared<Successor>();
    });
    f.link.OpenDeviceHandles();
    // Declared on the command collection, it is taken on any handle of the
    // interface, at its declared length only.
    std::vector<std::uint8_t> entry(513, 0);
    entry[0] = 5;
    entry[1] = 0x75;
    EXPECT_FALSE(f.link.g_hDataDev()->setFeature(entry.data(), entry.size()));
    EXPECT_EQ(made, 0);
    ASSERT_TRUE(f.link.g_hDataDev()->setFeature(entry.data(), 8));
    EXPECT_EQ(made, 1);
    EXPECT_FALSE(f.link.g_hCommandDev()->connected());
    auto list = f.bus.enumerate();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].vendorId, 0x0603);
    auto events = f.bus.drainEvents();
    EXPECT_EQ(events.front().kind, hid::PlugEvent::Kind::Removal);
    EXPECT_EQ(events.back().kind, hid::PlugEvent::Kind::Arrival);
}

TEST(KeyboardEmulator, FaultsNarrowToCollectionAndPage)
{
    LinkFixture f;
    f.link.OpenDeviceHandles();
    f.keyboard->faults().wrongReadBack = {1, 4, 0x10};
    auto& cmd = *f.link.g_hCommandDev();
    std::array<std::uint8_t, 513> page{4};
    ask(cmd, {3, 0x4D, 0x0F, 0, 0, 0, 0, 0});
    ASSERT_TRUE(f.link.g_hDataDev()->getFeature(page.data(), page.size()));
    EXPECT_EQ(page[1], 0);  // another page: untouched
    ask(cmd, {3, 0x4D, 0x10, 0, 0, 0, 0, 0});
    ASSERT_TRUE(f.link.g_hDataDev()->getFeature(page.data(), page.size()));
    EXPECT_NE(page[1], 0);  // garbled once
    ASSERT_TRUE(f.link.g_hDataDev()->getFeature(page.data(), page.size()));
    EXPECT_EQ(page[1], 0);
}

}  // namespace
}  // namespace zr417::testing
