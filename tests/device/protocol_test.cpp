#include "device/keyboard_session.h"
#include "fixtures.h"
#include "platform/trace.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

namespace zr417::testing {
namespace {

using settings::KeyMatrix;
using settings::MacroPages;
using settings::PageSize;
using settings::PicturePages;

struct ProtocolFixture : LinkFixture {
    explicit ProtocolFixture(std::string_view model = "QV420") : LinkFixture(model) { link.OpenDeviceHandles(); }

    // A configuration worth sending: noise in the matrix and the pictures,
    // macros with plain millisecond delays, sensible lighting.
    void fillImage(unsigned seed)
    {
        Noise(image.settings.data() + settings::Plane0, 512, seed);
        for (int k = 0; k < 5; ++k) Noise(image.settings.data() + PicturePages + PageSize * k + 1, 512, seed + k + 1);
        for (int m = 0; m < 12; ++m) {
            std::uint8_t* slot = image.settings.data() + settings::MacroSlots + settings::MacroSlotSize * m;
            slot[0] = 0;
            slot[1] = static_cast<std::uint8_t>(m + 1);  // loop count
            for (int step = 0; step < 5; ++step) {
                slot[2 + 4 * step] = 0x80;
                slot[3 + 4 * step] = static_cast<std::uint8_t>(4 + step);
                slot[5 + 4 * step] = static_cast<std::uint8_t>(10 * step + m);
            }
        }
        std::uint8_t group0[] = {1, 4, 2, 3, 1}, group6[] = {2, 1, 3, 5, 1};
        std::memcpy(&image.at(settings::LedGroup0), group0, 5);
        std::memcpy(&image.at(settings::LedGroup6), group6, 5);
        image.at(settings::WinLock) = 1;
        image.at(settings::GameMode) = 1;
    }

    const std::uint8_t* pageData(std::size_t base, int k) const
    {
        return image.settings.data() + base + PageSize * k + 1;
    }
};

struct ProtocolTest : ::testing::Test, ProtocolFixture {};

TEST(MacroDelays, MillisecondsBecomeEightMillisecondUnitsRoundedUp)
{
    std::array<std::uint8_t, 514> page{};  // 512 data bytes and two guards
    auto step = [&](int k, int keyCode, int ms) {
        page[3 + 4 * k] = static_cast<std::uint8_t>(keyCode);
        page[4 + 4 * k] = static_cast<std::uint8_t>(ms >> 8);
        page[5 + 4 * k] = static_cast<std::uint8_t>(ms & 0xFF);
    };
    auto delay = [&](int k) { return page[4 + 4 * k] * 256 + page[5 + 4 * k]; };
    int inputs[] = {1, 7, 8, 0, 15, 16, 0xFFFF};
    for (int k = 0; k < 7; ++k) step(k, 0x04, inputs[k]);
    step(8, 0x05, 100);  // after the step with key code 0: never reached
    ConvertMacroDelays(page.data());
    int expected[] = {1, 1, 2, 0, 2, 3, 0x2000};
    for (int k = 0; k < 7; ++k) EXPECT_EQ(delay(k), expected[k]) << inputs[k];
    EXPECT_EQ(delay(8), 100);

    page.fill(0);
    step(0, 0x00, 100);  // data byte 3 zero: the page goes out unconverted
    step(1, 0x04, 100);
    ConvertMacroDelays(page.data());
    EXPECT_EQ(delay(1), 100);

    // A page full of steps (a damaged file): the scan ends at the page end.
    page.fill(0x11);
    page[512] = page[513] = 0xAB;
    ConvertMacroDelays(page.data());
    EXPECT_EQ(page[512], 0xAB);
    EXPECT_EQ(page[513], 0xAB);
    EXPECT_EQ(delay(126), (0x1111 >> 3) + 1);
}

TEST_F(ProtocolTest, DownloadAllLeavesTheImageInTheKeyboard)
{
    fillImage(7);
    TraceCapture trace;
    protocol.DownloadAll();
    EXPECT_EQ(protocol.failures(), 0);
    EXPECT_EQ(trace.count("Data OK(KeyMatrix)\n"), 1);
    EXPECT_EQ(trace.count("Data OK(Macro)\n"), 12);
    EXPECT_EQ(trace.count("Data OK(SetUserPicture)\n"), 5);
    EXPECT_EQ(trace.count("Data OK\n"), 2);
    EXPECT_EQ(trace.count("LED OFF OK\n"), 1);
    EXPECT_EQ(trace.count("LED ON OK\n"), 1);
    EXPECT_EQ(trace.text().find("ot OK"), std::string::npos);

    auto m = keyboard->memory();
    EXPECT_EQ(0, std::memcmp(m.matrix.data(), image.settings.data() + KeyMatrix + 1, 512));
    for (int n = 0; n < 12; ++n) EXPECT_EQ(0, std::memcmp(m.pages[n].data(), pageData(MacroPages, n), 512)) << n;
    for (int k = 0; k < 5; ++k)
        EXPECT_EQ(0, std::memcmp(m.pages[0x10 + k].data(), pageData(PicturePages, k), 512)) << k;
    EXPECT_EQ(m.groups[0], (std::array<std::uint8_t, 8>{3, 0x53, 0, 1, 4, 2, 3, 1}));
    EXPECT_EQ(m.groups[6], (std::array<std::uint8_t, 8>{3, 0x53, 6, 2, 1, 3, 5, 1}));
    EXPECT_EQ(m.statusFlags, 0x01);  // Win Lock on, Game Mode on (sent inverted)
    EXPECT_TRUE(m.ledOn);

    // The macro page carries the slot with its delays converted; its second half is kept.
    const std::uint8_t* page1 = pageData(MacroPages, 1);
    EXPECT_EQ(page1[1], 2);
    EXPECT_EQ(page1[4 * 2 + 5], ((20 + 1) >> 3) + 1);
    EXPECT_EQ(pausedMs, 1090);  // every verification succeeded: the protocol's own pauses
}

TEST_F(ProtocolTest, StartupReadoutFillsTheImageFromTheKeyboard)
{
    auto m = emu::KeyboardEmulator::FactoryMemory(kModelQV420);
    Noise(m.matrix.data(), 512, 3);
    for (int n = 0; n < 256; ++n) Noise(m.pages[n].data(), 512, 100 + n);
    m.groups[0] = {3, 0x53, 0, 3, 2, 1, 5, 2};
    m.groups[6] = {3, 0x53, 6, 1, 2, 3, 4, 0};
    m.statusFlags = 0x01;  // Win Lock, Game Mode on
    keyboard->setMemory(m);
    keyboard->setFirmwareVersion(2, 6);
    image.at(settings::GameMode) = 0;

    protocol.StartupReadout();
    EXPECT_EQ(protocol.failures(), 0);
    EXPECT_EQ(image.at(KeyMatrix), 6);
    EXPECT_EQ(0, std::memcmp(m.matrix.data(), image.settings.data() + KeyMatrix + 1, 512));
    for (int n = 0; n < 12; ++n) EXPECT_EQ(0, std::memcmp(m.pages[n].data(), pageData(MacroPages, n), 512)) << n;
    for (int k = 0; k < 5; ++k)
        EXPECT_EQ(0, std::memcmp(m.pages[0x10 + k].data(), pageData(PicturePages, k), 512)) << k;
    EXPECT_EQ(0, std::memcmp(m.groups[0].data() + 3, &image.at(settings::LedGroup0), 5));
    EXPECT_EQ(0, std::memcmp(m.groups[6].data() + 3, &image.at(settings::LedGroup6), 5));
    EXPECT_EQ(protocol.g_nFwMajor(), 2);
    EXPECT_EQ(protocol.g_nFwMinor(), 6);
    EXPECT_EQ(protocol.g_abStatusReply(), (std::array<std::uint8_t, 8>{3, 0x51, 7, 0, 2, 6, 0, 0x01}));
    std::array<std::uint8_t, 5> statusCopy{0, 0, 7, 2, 6};  // reply bytes 3, 6, 2, 4, 5
    EXPECT_EQ(0, std::memcmp(statusCopy.data(), &image.at(settings::StatusCopy), 5));
    EXPECT_EQ(image.at(settings::WinLock), 1);
    EXPECT_EQ(image.at(settings::GameMode), 1);
    EXPECT_EQ(refreshes, std::vector<int>{0});
}

TEST_F(ProtocolTest, SaveThenReadBackRoundTrips)
{
    fillImage(11);
    protocol.DownloadAll();
    ConfigImage sent = image;
    image = ConfigImage{};
    protocol.StartupReadout();
    for (std::size_t off : {std::size_t(KeyMatrix + 1), std::size_t(MacroPages), std::size_t(PicturePages)}) {
        std::size_t len = off == KeyMatrix + 1 ? 512 : off == MacroPages ? 12 * PageSize : 5 * PageSize;
        EXPECT_EQ(0, std::memcmp(sent.settings.data() + off, image.settings.data() + off, len)) << off;
    }
    EXPECT_EQ(0, std::memcmp(&sent.at(settings::LedGroup0), &image.at(settings::LedGroup0), 10));
    EXPECT_EQ(image.at(settings::WinLock), 1);
}

TEST_F(ProtocolTest, SessionReadsOutOnItsOwnThreadIntoACopy)
{
    keyboard->setFirmwareVersion(4, 2);
    auto m = keyboard->memory();
    Noise(m.matrix.data(), 512, 9);
    for (int n = 0; n < 0x15; ++n) Noise(m.pages[n].data(), 512, 200 + n);
    m.groups[0] = {3, 0x53, 0, 8, 3, 2, 0, 1};  // Static without colour: the effect default applies
    keyboard->setMemory(m);
    fillImage(3);
    ConfigImage expected = image;
    KeyboardProtocol direct(link, expected, countingPause());
    direct.StartupReadout();

    KeyboardSession session(countingPause());
    session.SetHandles(link.handles());
    std::optional<KeyboardSession::Result> result;
    std::thread::id worker;
    session.Run(Sequence::StartupReadout, image, [&](KeyboardSession::Result r) {
        worker = std::this_thread::get_id();
        result = std::move(r);
    });
    // The window edits what the read-out does not read meanwhile: that stays.
    image.at(settings::ReportInterval) = 2;
    expected.at(settings::ReportInterval) = 2;
    ConfigImage before = image;
    session.WaitUntilIdle();
    ASSERT_TRUE(result);
    EXPECT_NE(worker, std::this_thread::get_id());
    EXPECT_EQ(image, before) << "the session reads into a copy, never into the caller's image";
    result->MergeInto(image);
    EXPECT_EQ(image, expected) << "every byte the sequence reads, and nothing else, lands in the image";
    EXPECT_EQ(result->fwMajor, 4);
    EXPECT_EQ(result->fwMinor, 2);
    EXPECT_EQ(result->sets + result->gets, kStartupReadoutReports);
}

// "Make the keyboard hold this image" through the session, as a profile
// applied to a running program does.
struct HoldTest : ProtocolTest {
    HoldTest() { session.SetHandles(link.handles()); }

    KeyboardSession::Result run(Sequence sequence, const ConfigImage& img)
    {
        std::optional<KeyboardSession::Result> out;
        session.Run(sequence, img, [&](KeyboardSession::Result r) { out = std::move(r); });
        session.WaitUntilIdle();
        return std::move(*out);
    }

    KeyboardSession session{countingPause()};
};

TEST_F(HoldTest, OnlyTheSectionsThatDifferGoOut)
{
    fillImage(4);
    ConfigImage held = run(Sequence::DownloadAll, image).image;
    TraceCapture trace;

    // A lighting change: LED group 0 alone, inside the LED power frame.
    ConfigImage lit = held;
    lit.at(settings::Effect) = 3;
    lit.at(settings::Brightness) = 5;
    auto r = run(Sequence::Hold, lit);
    EXPECT_EQ(r.sent, section::kGroup0);
    EXPECT_LE(r.sets, 12);
    EXPECT_EQ(r.failures, 0);
    EXPECT_EQ(keyboard->memory().groups[0], (std::array<std::uint8_t, 8>{3, 0x53, 0, 3, 5, 2, 3, 1}));
    EXPECT_EQ(trace.count("LED OFF OK\n"), 1);
    EXPECT_EQ(trace.count("LED ON OK\n"), 1);

    // What the keyboard holds already: nothing at all.
    r = run(Sequence::Hold, lit);
    EXPECT_EQ(r.sent, 0u);
    EXPECT_EQ(r.sets + r.gets, 0);

    // A remap: the key matrix alone, without blinking the lights.
    ConfigImage remapped = lit;
    remapped.plane(0, 10) ^= 0xFF;
    r = run(Sequence::Hold, remapped);
    EXPECT_EQ(r.sent, section::kKeyMatrix);
    EXPECT_EQ(r.sets, 1);
    EXPECT_EQ(trace.count("LED OFF OK\n"), 1);
    EXPECT_EQ(keyboard->memory().matrix[128 * 0 + 10], remapped.plane(0, 10));

    // A slot whose delays convert to the page the keyboard holds sends
    // nothing; one that converts to another page sends that page alone.
    ConfigImage macro = remapped;
    std::uint8_t* slot3 = macro.settings.data() + settings::MacroSlots + settings::MacroSlotSize * 3;
    ASSERT_EQ(slot3[5], 3);  // 3 ms: one unit of 8 ms
    slot3[5] = 7;            // still one unit
    EXPECT_EQ(run(Sequence::Hold, macro).sent, 0u);
    slot3[5] = 9;  // two units
    r = run(Sequence::Hold, macro);
    EXPECT_EQ(r.sent, section::kMacroPage0 << 3);
    EXPECT_EQ(keyboard->memory().pages[3][5], 2);
    EXPECT_EQ(0, std::memcmp(&r.image.settings[MacroPages + PageSize * 3 + 1], keyboard->memory().pages[3].data(), 512))
        << "the image keeps the page as sent";
}

TEST_F(HoldTest, WhatFailedOrWasNeverReadIsSentAgain)
{
    fillImage(5);
    ConfigImage held = run(Sequence::DownloadAll, image).image;

    // The matrix never verifies: the next Hold of the same image sends it again.
    ConfigImage remapped = held;
    remapped.plane(1, 20) = 0x33;
    keyboard->faults().wrongReadBack = {3, 6, -1};
    auto r = run(Sequence::Hold, remapped);
    EXPECT_EQ(r.failures, 1);
    r = run(Sequence::Hold, remapped);
    EXPECT_EQ(r.sent, section::kKeyMatrix);
    EXPECT_EQ(r.failures, 0);

    // A factory reset reads everything back but LED group 6: that goes out
    // with the next change, inside the LED power frame.
    ConfigImage reset = run(Sequence::FactoryReset, remapped).image;
    std::fill_n(&reset.at(settings::MacroSlots), settings::MacroSlotSize * 12, 0);  // the keyboard has none now
    reset.at(settings::GameMode) = 0;                                               // as the keyboard has it
    r = run(Sequence::Hold, reset);
    EXPECT_EQ(r.sent, section::kGroup6);
    EXPECT_EQ(r.sets, 4);

    // The second model reads Static without colour back as Neon, which is
    // sent as Static without colour: the keyboard holds it already.
    ConfigImage neon = reset;
    neon.at(settings::Effect) = 9;
    r = run(Sequence::Hold, neon);
    EXPECT_EQ(r.sent, section::kGroup0);
    ConfigImage readBack = run(Sequence::ReadEverything, r.image).image;
    ASSERT_EQ(readBack.at(settings::Effect), 9);
    EXPECT_EQ(run(Sequence::Hold, readBack).sent, 0u);

    // Another keyboard in its place: nothing of it is known.
    link.CloseDeviceHandles();
    link.OpenDeviceHandles();
    session.SetHandles(link.handles());
    EXPECT_EQ(run(Sequence::Hold, readBack).sent, section::kAll);
}

TEST_F(ProtocolTest, ArrivalReadoutSendsFlagsFirstAndSkipsPictures)
{
    image.at(settings::WinLock) = 1;
    image.at(settings::GameMode) = 1;
    image.settings[PicturePages + 1] = 0x77;
    protocol.ArrivalReadout();
    EXPECT_EQ(keyboard->memory().statusFlags, 0x01);
    EXPECT_EQ(image.at(settings::WinLock), 1);
    EXPECT_EQ(image.settings[PicturePages + 1], 0x77);
    EXPECT_EQ(image.at(settings::Effect), 8);  // factory Static white read
    EXPECT_EQ(image.at(settings::ColourIndex), 7);
    EXPECT_TRUE(refreshes.empty());  // the window refreshes itself after an arrival
}

TEST_F(ProtocolTest, FactoryResetRestoresTheKeyboardAndReadsItBack)
{
    fillImage(5);
    protocol.DownloadAll();
    protocol.FactoryReset();
    auto factory = emu::KeyboardEmulator::FactoryMemory(kModelQV420);
    EXPECT_EQ(keyboard->memory().matrix, factory.matrix);
    EXPECT_EQ(0, std::memcmp(factory.matrix.data(), image.settings.data() + KeyMatrix + 1, 512));
    EXPECT_EQ(image.settings[PicturePages + 1], 0);
    EXPECT_EQ(image.at(settings::GameMode), 1);
    EXPECT_EQ(refreshes, std::vector<int>{0});
    EXPECT_GE(pausedMs, 1100);
}

TEST(EffectRules, SecondModelNeonIsStaticWithoutColour)
{
    for (auto model : {"QV420", "OEM"}) {
        ProtocolFixture t(model);
        t.image.at(settings::Effect) = 9;
        t.image.at(settings::ColourIndex) = 4;
        t.protocol.WriteLedGroup(0);
        EXPECT_EQ(t.keyboard->memory().groups[0][3], 8) << model;
        EXPECT_EQ(t.keyboard->memory().groups[0][6], 0) << model;
        EXPECT_EQ(t.image.at(settings::Effect), 8) << model;
        EXPECT_EQ(t.image.at(settings::ColourIndex), 0) << model;
    }
    // Reading Static with colour 0 back shows Neon only on the second model itself.
    for (auto [model, effect] : {std::pair{"QV420", 9}, {"OEM", 8}, {"QV310", 8}}) {
        ProtocolFixture t(model);
        auto m = t.keyboard->memory();
        m.groups[0] = {3, 0x53, 0, 8, 1, 1, 0, 0};
        t.keyboard->setMemory(m);
        t.protocol.ReadLedGroup(0);
        EXPECT_EQ(t.image.at(settings::Effect), effect) << model;
    }
    ProtocolFixture t("QV420");
    auto m = t.keyboard->memory();
    m.groups[0] = {3, 0x53, 0, 8, 1, 1, 2, 0};
    t.keyboard->setMemory(m);
    t.protocol.ReadLedGroup(0);
    EXPECT_EQ(t.image.at(settings::Effect), 8);
}

TEST(EffectRules, FirstModelEffectTenSendsNoColour)
{
    ProtocolFixture first("QV310");
    first.image.at(settings::Effect) = 10;
    first.image.at(settings::ColourIndex) = 5;
    first.protocol.WriteLedGroup(0);
    EXPECT_EQ(first.keyboard->memory().groups[0][6], 0);
    EXPECT_EQ(first.image.at(settings::ColourIndex), 0);

    ProtocolFixture second("QV420");  // OFF on the second model keeps its colour
    second.image.at(settings::Effect) = 10;
    second.image.at(settings::ColourIndex) = 5;
    second.protocol.WriteLedGroup(0);
    EXPECT_EQ(second.keyboard->memory().groups[0][6], 5);
}

TEST(EffectRules, StaticWithoutColourBecomesWhite)
{
    for (auto [model, staticEffect] : {std::pair{"QV310", 0}, {"QV420", 8}}) {
        ProtocolFixture t(model);
        t.image.at(settings::Effect) = static_cast<std::uint8_t>(staticEffect);
        t.image.at(settings::ColourIndex) = 0;
        t.protocol.ApplyEffectDefault();
        EXPECT_EQ(t.image.at(settings::ColourIndex), 7) << model;
        t.image.at(settings::Effect) = static_cast<std::uint8_t>(8 - staticEffect);
        t.image.at(settings::ColourIndex) = 0;
        t.protocol.ApplyEffectDefault();
        EXPECT_EQ(t.image.at(settings::ColourIndex), 0) << model;
    }
}

TEST_F(ProtocolTest, KeyboardAnswering51NeverVerifies)
{
    keyboard->faults().groupReplyByte51 = true;
    TraceCapture trace;
    protocol.WriteLedGroup(0);
    EXPECT_EQ(trace.count("SetLedType Data \n"), 3);
    EXPECT_EQ(trace.count("Data Not OK\n"), 3);
    EXPECT_EQ(trace.count("Data OK\n"), 0);
    EXPECT_EQ(protocol.failures(), 1);
}

TEST_F(ProtocolTest, PicturePagesShareOneBudgetOfThreeFailures)
{
    fillImage(3);
    keyboard->faults().wrongReadBack = {-1, 4, 0x10};
    TraceCapture trace;
    protocol.WritePicturePages();
    auto c = keyboard->counters();
    EXPECT_EQ(c.pageSets[0x10], 3);
    for (int n = 0x11; n <= 0x14; ++n) EXPECT_EQ(c.pageSets[n], 0) << n;
    EXPECT_EQ(trace.count("Data not OK(SetUserPicture)\n"), 3);
    EXPECT_EQ(trace.count("Data OK(SetUserPicture)\n"), 0);
}

TEST_F(ProtocolTest, PictureBudgetIsSpentAcrossPages)
{
    fillImage(4);
    keyboard->faults().refuseGet = {2, 4, 0x10};      // page 0x10 verifies at its third try
    keyboard->faults().wrongReadBack = {1, 4, 0x11};  // page 0x11 spends the last failure
    TraceCapture trace;
    protocol.WritePicturePages();
    auto c = keyboard->counters();
    EXPECT_EQ(c.pageSets[0x10], 3);
    EXPECT_EQ(c.pageSets[0x11], 1);
    for (int n = 0x12; n <= 0x14; ++n) EXPECT_EQ(c.pageSets[n], 0) << n;
    EXPECT_EQ(trace.count("Data OK(SetUserPicture)\n"), 1);
    EXPECT_EQ(trace.count("Data not OK(SetUserPicture)\n"), 3);
}

TEST_F(ProtocolTest, MacroPageRetriesThreeTimesThenMovesOn)
{
    keyboard->faults().wrongReadBack = {-1, 4, 3};
    TraceCapture trace;
    protocol.WriteMacroPages();
    auto c = keyboard->counters();
    EXPECT_EQ(c.pageSets[3], 3);
    EXPECT_EQ(c.pageSets[4], 1);
    EXPECT_EQ(trace.count("Data not OK(Macro)\n"), 3);
    EXPECT_EQ(trace.count("Data OK(Macro)\n"), 11);
}

TEST_F(ProtocolTest, KeyMatrixIsSentWithItsReportIdEvenFromAFreshImage)
{
    Noise(image.settings.data() + settings::Plane0, 512, 9);
    image.at(KeyMatrix) = 0;  // keymap.bin before any read-out
    TraceCapture trace;
    protocol.WriteKeyMatrix();
    EXPECT_EQ(trace.count("Data OK(KeyMatrix)\n"), 1);
    EXPECT_EQ(0, std::memcmp(keyboard->memory().matrix.data(), image.settings.data() + settings::Plane0, 512));
}

TEST_F(ProtocolTest, RefusedReadsLeaveTheImageAlone)
{
    Noise(image.settings.data() + KeyMatrix, 513, 2);
    image.at(settings::WinLock) = 1;
    ConfigImage before = image;
    keyboard->faults().refuseGet = {-1};
    protocol.ReadKeyMatrix();
    protocol.ReadStatus();
    protocol.ReadLedGroup(0);
    protocol.ReadMacroPages();
    EXPECT_EQ(image, before);
    EXPECT_GT(protocol.failures(), 0);
}

TEST_F(ProtocolTest, StatusIsOnlyTakenFromAFreshAnswer)
{
    keyboard->setFirmwareVersion(3, 1);
    protocol.ReadStatus();
    ASSERT_EQ(protocol.failures(), 0);
    ASSERT_EQ(protocol.g_abStatusReply()[4], 3);

    // The request is refused; the read that follows gets whatever the
    // keyboard answered last (here a group read), not a status.
    keyboard->setFirmwareVersion(5, 0);
    protocol.ReadLedGroup(0);
    image.at(settings::WinLock) = 1;
    ConfigImage before = image;
    auto reply = protocol.g_abStatusReply();
    keyboard->faults().refuseSet = {1, 3};
    protocol.ReadStatus();
    EXPECT_EQ(protocol.failures(), 1) << "a status nobody answered is a failure (zr417ctl info exits 1)";
    EXPECT_EQ(protocol.g_abStatusReply(), reply);
    EXPECT_EQ(image, before);
}

TEST_F(ProtocolTest, LedPowerIsNeverConfirmedWithoutAReply)
{
    keyboard->faults().refuseGet = {-1};
    TraceCapture trace;
    protocol.SetLedPower(kLedPowerOn);
    protocol.SetLedPower(kLedPowerOff);
    EXPECT_EQ(trace.count("LED ON OK\n"), 0);
    EXPECT_EQ(trace.count("LED OFF OK\n"), 0);
    EXPECT_EQ(trace.count("SetLedTypeOFF Data \n"), 6);
}

TEST_F(ProtocolTest, UnplugInTheMiddleOfDownloadAllRunsToTheEndWithoutPausing)
{
    fillImage(8);
    for (int after : {1, 15, 60, 78}) {
        ProtocolFixture t;
        t.fillImage(8);
        t.bus.unplugAfterReports(t.port, after);
        TraceCapture trace;
        t.protocol.DownloadAll();
        EXPECT_EQ(t.bus.device(t.port), nullptr) << after;
        EXPECT_EQ(t.pausesWhileUnplugged, 0) << after;
        EXPECT_GT(t.protocol.failures(), 0) << after;
        EXPECT_EQ(trace.count("LED ON OK\n"), 0) << after;
        // The sequence ran to its end: the last step made its three attempts.
        EXPECT_GE(trace.count("SetLedTypeOFF Data \n"), 3) << after;
    }
}

TEST(NoKeyboard, EverySequenceFailsQuietlyWithoutHandles)
{
    emu::EmulatedBus bus;
    int pauses = 0;
    DeviceLink link(bus, {}, [&](auto) { ++pauses; });
    ConfigImage image;
    KeyboardProtocol protocol(link, image, [&](auto) { ++pauses; });
    link.OpenDeviceHandles();
    protocol.DownloadAll();
    protocol.StartupReadout();
    protocol.FactoryReset();
    EXPECT_EQ(pauses, 0);
    EXPECT_EQ(image.at(KeyMatrix), 0);  // nothing was read, nothing stored
    EXPECT_EQ(image.at(settings::WinLock), 0);
}

}  // namespace
}  // namespace zr417::testing
