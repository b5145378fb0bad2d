#include "updater/flashing.h"

#include "test_util.h"
#include "updater/hex_image.h"

#include <gtest/gtest.h>

#include <atomic>

namespace zr417::updater {
namespace {

using emu::BootloaderEmulator;
using test::RecordingStatus;
using test::TempDir;

class FakeHost : public BurnHost {
public:
    bool IsStopRequested(int) override
    {
        ++checks;
        return (stopAfter >= 0 && checks > stopAfter) || checks == stopAt;
    }
    ProbeResult RecordedProbe(int) override { return probe; }
    int Language() override { return language; }
    void Wait(std::chrono::milliseconds d) override { waits.push_back(static_cast<int>(d.count())); }

    int stopAfter = -1;  // stop from the n+1-th check on
    int stopAt = -1;     // stop at the n-th check only
    int checks = 0;
    ProbeResult probe;
    int language = 0;
    std::vector<int> waits;
};

struct Bench {
    emu::EmulatedBus bus;
    std::shared_ptr<BootloaderEmulator> device = std::make_shared<BootloaderEmulator>();
    int port = 0;
    FakeHost host;
    RecordingStatus status;
    TempDir dir;
    BurnJob job;

    Bench()
    {
        device->setRecording(true);
        port = bus.plug(device);
        job.dataPath = bus.pathOf(port, BootloaderEmulator::kDataIndex);
        job.commandPath = bus.pathOf(port, BootloaderEmulator::kCommandIndex);
        job.slot = 0;
        job.statusControl = &status;
        job.imagePath = dir.file("fw.bin");
        job.serial = 0x0102;
        job.sensorCode = 4;
    }
    void SetImage(const std::vector<std::uint8_t>& image)
    {
        std::ofstream(job.imagePath, std::ios::binary)
            .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    }
    BurnOutcome Burn() { return DoBurn(bus, host, job); }
    std::size_t Count(std::uint8_t id, std::uint8_t code) const { return device->sentReports(id, code).size(); }
};

TEST(CyclesLeft, OnlyMarksOfTheFormTwoToTheKMinusOneCount)
{
    const std::pair<int, int> table[] = {{0x00, 8}, {0x01, 7}, {0x03, 6}, {0x07, 5}, {0x0F, 4},
                                         {0x1F, 3}, {0x3F, 2}, {0x7F, 1}, {0xFF, 0}};
    for (auto [mark, left] : table) EXPECT_EQ(CyclesLeft(static_cast<std::uint8_t>(mark)), left) << mark;
    for (int mark : {0x02, 0x05, 0x80, 0xFE, 0x10}) EXPECT_EQ(CyclesLeft(static_cast<std::uint8_t>(mark)), 0) << mark;
}

TEST(EnumerateDevices, PairsBootloaderCollectionsAndWakesKeyboards)
{
    emu::EmulatedBus bus;
    int b1 = bus.plug(std::make_shared<BootloaderEmulator>());
    auto keyboard = std::make_shared<test::NormalKeyboard>(0x260D, 0x0015, 8);
    auto stranger = std::make_shared<test::NormalKeyboard>(0x1C4F, 0x5DC4, 8);
    bus.plug(keyboard);
    bus.plug(stranger);
    int b2 = bus.plug(std::make_shared<BootloaderEmulator>());

    FoundDevices found;
    EXPECT_EQ(EnumerateDevices(bus, 0x260D, 0x0015, found), 2);
    EXPECT_EQ(found.data[0], bus.pathOf(b1, BootloaderEmulator::kDataIndex));
    EXPECT_EQ(found.command[0], bus.pathOf(b1, BootloaderEmulator::kCommandIndex));
    EXPECT_EQ(found.data[1], bus.pathOf(b2, BootloaderEmulator::kDataIndex));
    EXPECT_EQ(found.command[1], bus.pathOf(b2, BootloaderEmulator::kCommandIndex));
    EXPECT_TRUE(found.data[2].empty());

    // The configured keyboard got the bootloader-entry report with its own
    // feature length and re-enumerated; the other identity was left alone.
    EXPECT_EQ(keyboard->received, (std::vector<std::uint8_t>{0x05, 0x75, 0, 0, 0, 0, 0, 0}));
    EXPECT_TRUE(stranger->received.empty());
    EXPECT_EQ(EnumerateDevices(bus, 0x260D, 0x0015, found), 3);
}

TEST(EnumerateDevices, KeepsAtMostSixteen)
{
    emu::EmulatedBus bus;
    for (int i = 0; i < 17; ++i) bus.plug(std::make_shared<BootloaderEmulator>());
    FoundDevices found;
    EXPECT_EQ(EnumerateDevices(bus, 0x260D, 0x0015, found), 16);
    EXPECT_FALSE(found.command[15].empty());
}

TEST(ProbeDevice, ReadsTheStatusWord)
{
    Bench b;
    b.device->setMark(0x03);
    auto p = ProbeDevice(b.bus, b.job.dataPath);
    EXPECT_TRUE(p.answered);
    EXPECT_EQ(p.cyclesLeft, 6);
    auto setup = b.device->sentReports(0x05, 0x52);
    ASSERT_EQ(setup.size(), 1u);
    EXPECT_EQ(setup[0], (std::vector<std::uint8_t>{0x05, 0x52, 0xF0, 0xFC, 0x04, 0x00}));

    b.device->setStatusByte0(0x60);
    EXPECT_FALSE(ProbeDevice(b.bus, b.job.dataPath).answered);
    EXPECT_FALSE(ProbeDevice(b.bus, "emu:/nowhere").answered);
    b.device->setStatusByte0(0x61);
    b.device->refuseCommand(0x05, 0x52, 1);
    EXPECT_FALSE(ProbeDevice(b.bus, b.job.dataPath).answered);
}

TEST(DoBurn, FullImageIsWrittenVerifiedAndFinished)
{
    Bench b;
    auto image = test::Pattern(kImageLimit);
    b.SetImage(image);
    b.device->setOptionBlock({0x11, 0x22, 0x33, 0x44, 0x01, 0x00, 0xFF, 0xFF});
    ASSERT_EQ(b.Burn(), BURN_OK);

    EXPECT_EQ(b.device->flash(), image);
    EXPECT_EQ(b.device->optionBlock(), (std::array<std::uint8_t, 8>{0x11, 0x22, 0x33, 0x44, 4, 0, 0x01, 0x02}));
    EXPECT_EQ(b.device->mark(), 0x01);  // one programming cycle used
    EXPECT_EQ(b.host.waits, (std::vector<int>{2000, 100, 200, 100}));

    auto setups = b.device->sentReports(0x05, 0x57);
    ASSERT_EQ(setups.size(), 3u);  // image, first chunk again, option block
    EXPECT_EQ(setups[0], (std::vector<std::uint8_t>{0x05, 0x57, 0x00, 0x00, 0x00, 0xF0}));
    EXPECT_EQ(setups[2], (std::vector<std::uint8_t>{0x05, 0x57, 0x80, 0xFF, 0x08, 0x00}));
    auto chunks = b.device->sentReports(0x06, 0x77);
    ASSERT_EQ(chunks.size(), 31u);
    EXPECT_EQ(chunks[0][2], 0x00);       // first byte held back
    EXPECT_EQ(chunks[30][2], image[0]);  // and written last
    EXPECT_EQ(b.device->sentReports(0x05, 0x45)[0], (std::vector<std::uint8_t>{5, 0x45, 0x45, 0x45, 0x45, 0x45}));
    EXPECT_EQ(b.device->sentReports(0x05, 0x55)[0], (std::vector<std::uint8_t>{5, 0x55, 0x55, 0x55, 0x55, 0x55}));
    auto option = b.device->sentReports(0x05, 0x77);
    ASSERT_EQ(option.size(), 2u);
    EXPECT_EQ(option[0], (std::vector<std::uint8_t>{0x05, 0x77, 0x11, 0x22, 0x33, 0x44}));
    EXPECT_EQ(option[1], (std::vector<std::uint8_t>{0x05, 0x77, 0x04, 0x00, 0x01, 0x02}));

    auto history = b.status.history();
    EXPECT_EQ(history.front(), "Open device...");
    EXPECT_TRUE(b.status.saw("Open is Ok"));
    EXPECT_TRUE(b.status.saw("Erasing..."));
    EXPECT_TRUE(b.status.saw("Send data--3.33%"));
    EXPECT_TRUE(b.status.saw("Send data--100.00%"));
    EXPECT_TRUE(b.status.saw("Read data--100.00%"));
}

TEST(DoBurn, ShortImagesArePaddedToWholeChunks)
{
    Bench b;
    b.SetImage({0x5A});
    ASSERT_EQ(b.Burn(), BURN_OK);
    auto setup = b.device->sentReports(0x05, 0x57)[0];
    EXPECT_EQ(setup, (std::vector<std::uint8_t>{0x05, 0x57, 0x00, 0x00, 0x00, 0x08}));
    auto chunks = b.device->sentReports(0x06, 0x77);
    ASSERT_EQ(chunks.size(), 2u);
    EXPECT_EQ(chunks[1][2], 0x5A);
    EXPECT_TRUE(std::all_of(chunks[1].begin() + 3, chunks[1].end(), [](std::uint8_t v) { return v == 0; }));
    EXPECT_EQ(b.device->image().size(), 2048u);
    EXPECT_TRUE(b.status.saw("Send data--100.00%"));
}

TEST(DoBurn, ImagesOverSixtyKiBAndEmptyOrMissingImagesAreRefused)
{
    Bench big;
    big.SetImage(std::vector<std::uint8_t>(kImageLimit + 1, 1));
    EXPECT_EQ(big.Burn(), BURN_FAILED);
    EXPECT_EQ(big.status.line1(), "File is too big");
    EXPECT_EQ(big.Count(0x06, 0x77), 0u);

    Bench empty;
    empty.SetImage({});
    EXPECT_EQ(empty.Burn(), BURN_FAILED);
    EXPECT_EQ(empty.status.line1(), "Open file fail");
    EXPECT_EQ(empty.device->finishCount(), 0);

    Bench missing;
    EXPECT_EQ(missing.Burn(), BURN_FAILED);
    EXPECT_EQ(missing.status.line1(), "Open file fail");

    // None of them erased the device's firmware for nothing.
    for (const Bench* b : {&big, &empty, &missing}) EXPECT_EQ(b->device->eraseCount(), 0);
}

TEST(DoBurn, CycleCheckOnlyForDevicesThatAnsweredTheProbe)
{
    Bench spent;
    spent.SetImage({1, 2, 3});
    spent.host.probe = {true, 0};
    spent.status.SetLine2("TimesLeft:0");
    EXPECT_EQ(spent.Burn(), BURN_FAILED);
    EXPECT_EQ(spent.status.line1(), "Left Num 0");
    EXPECT_EQ(spent.status.line2(), "");
    EXPECT_EQ(spent.Count(0x05, 0x45), 0u);  // never erased

    Bench silent;  // did not answer: burned without the check
    silent.SetImage({1, 2, 3});
    silent.host.probe = {false, 0};
    EXPECT_EQ(silent.Burn(), BURN_OK);
}

TEST(DoBurn, ReadBackDifferenceIsRetriedFromTheSetUp)
{
    Bench once;
    once.SetImage(test::Pattern(kImageLimit));
    once.device->flipReadBack(kImageLimit - 1, BootloaderEmulator::Flip::Once);  // in the last chunk
    EXPECT_EQ(once.Burn(), BURN_OK);
    EXPECT_EQ(once.device->sentReports(0x05, 0x52).size(), 2u + 1u);  // two image read-backs, one option read

    Bench always;
    always.SetImage(test::Pattern(4096));
    always.device->flipReadBack(100, BootloaderEmulator::Flip::Always);
    EXPECT_EQ(always.Burn(), BURN_FAILED);
    EXPECT_EQ(always.status.line1(), "Read back fail");
    EXPECT_EQ(always.device->sentReports(0x05, 0x52).size(), 10u);
    EXPECT_EQ(always.device->finishCount(), 0);
}

TEST(DoBurn, RefusedReportsEndTheBurnWithTheirText)
{
    struct Case {
        std::uint8_t id, code;
        int times;
        const char* line1;
        std::size_t expectedSetups;  // write set-ups seen (5 attempts when sending fails)
    };
    const Case cases[] = {
        {0x05, 0x45, -1, "Erase fail", 0}, {0x06, 0x77, -1, "Send data fail", 5}, {0x05, 0x57, -1, "Send data fail", 5},
        {0x05, 0x55, -1, "Burn fail", 3},  {0x05, 0x72, -1, "Burn fail", 2},  // option block cannot be read
    };
    for (const auto& c : cases) {
        Bench b;
        b.SetImage(test::Pattern(3000));
        b.device->refuseCommand(c.id, c.code, c.times);
        EXPECT_EQ(b.Burn(), BURN_FAILED) << c.line1;
        EXPECT_EQ(b.status.line1(), c.line1);
        EXPECT_EQ(b.Count(0x05, 0x57), c.expectedSetups) << c.line1;
    }

    // Unreadable option block: it is not erased, so its bytes survive.
    Bench keep;
    keep.SetImage({1});
    keep.device->setOptionBlock({1, 2, 3, 4, 5, 6, 7, 8});
    keep.device->refuseCommand(0x05, 0x72, -1);
    EXPECT_EQ(keep.Burn(), BURN_FAILED);
    EXPECT_EQ(keep.Count(0x05, 0x65), 0u);
    EXPECT_EQ(keep.device->optionBlock(), (std::array<std::uint8_t, 8>{1, 2, 3, 4, 5, 6, 7, 8}));

    // A send that fails twice and then works is retried.
    Bench retry;
    retry.SetImage(test::Pattern(3000));
    retry.device->refuseCommand(0x06, 0x77, 2);
    EXPECT_EQ(retry.Burn(), BURN_OK);
    EXPECT_EQ(retry.Count(0x05, 0x57), 3u + 1u + 1u);
}

TEST(DoBurn, OpenFailuresAndTheLanguage)
{
    Bench b;
    b.job.dataPath = "emu:/gone";
    b.host.language = 1;
    EXPECT_EQ(b.Burn(), BURN_FAILED);
    EXPECT_EQ(b.status.line1(), "打开设备失败");

    Bench noCommand;
    noCommand.SetImage({1});
    noCommand.job.commandPath = "emu:/gone";
    noCommand.host.language = 2;
    EXPECT_EQ(noCommand.Burn(), BURN_FAILED);
    EXPECT_EQ(noCommand.status.line1(), "擦除失敗");
}

TEST(DoBurn, RemovalInTheMiddleFailsTheBurn)
{
    Bench b;
    b.SetImage(test::Pattern(kImageLimit));
    b.bus.unplugAfterReports(b.port, 10);  // during the image transfer
    EXPECT_EQ(b.Burn(), BURN_FAILED);
    EXPECT_EQ(b.status.line1(), "Send data fail");
    EXPECT_EQ(b.device->finishCount(), 0);
}

TEST(DoBurn, StopEndsTheBurnAtTheNextCheck)
{
    // Checks: 1 before opening, 2 before erase, 3 after "Erasing...", 4 after
    // the wait, 5 inside SendImage before the loop, 6 after the first chunk...
    Bench b;
    b.SetImage(test::Pattern(kImageLimit));
    b.host.stopAfter = 5;
    EXPECT_EQ(b.Burn(), BURN_STOPPED);
    EXPECT_EQ(b.Count(0x06, 0x77), 1u);  // the stop inside the send ended it after one chunk
    EXPECT_EQ(b.Count(0x05, 0x52), 0u);  // no read-back started

    // The slot went to another device that is burning by the next check: the
    // stop seen inside the send still ends this burn, which neither reads the
    // half-written flash back nor writes a failure into the slot's status.
    Bench handedOver;
    handedOver.SetImage(test::Pattern(kImageLimit));
    handedOver.host.stopAt = 6;
    EXPECT_EQ(handedOver.Burn(), BURN_STOPPED);
    EXPECT_EQ(handedOver.Count(0x06, 0x77), 1u);
    EXPECT_EQ(handedOver.Count(0x05, 0x52), 0u);
    EXPECT_EQ(handedOver.status.line1(), "Erasing...");

    Bench first;
    first.host.stopAfter = 0;
    EXPECT_EQ(first.Burn(), BURN_STOPPED);
    EXPECT_EQ(first.status.line1(), "Open device...");
}

}  // namespace
}  // namespace zr417::updater
