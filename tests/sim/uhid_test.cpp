// The uhid mode's parts that need no kernel: the report descriptors the
// devices are created with (read back by our own parser and by the hidraw
// backend's collection listing), the uhid events' encoding, and the answers
// the emulators give to the kernel's report requests.
#include "config/keys.h"
#include "device/emu/bootloader_emulator.h"
#include "device/emu/keyboard_emulator.h"
#include "device/identities.h"
#include "device/report_descriptor.h"
#include "platform/hidraw_sysfs.h"
#include "sim/uhid_events.h"
#include "sim/uhid_layout.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstddef>
#include <cstring>

namespace zr417::sim::uhid {
namespace {

hid::ReportInfo Report(std::uint8_t id, std::uint16_t feature, std::uint16_t input = 0, std::uint16_t output = 0)
{
    return {id, feature, input, output};
}

bool SameReports(const std::vector<hid::ReportInfo>& a, const std::vector<hid::ReportInfo>& b)
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].id != b[i].id || a[i].featureLength != b[i].featureLength || a[i].inputLength != b[i].inputLength ||
            a[i].outputLength != b[i].outputLength)
            return false;
    return true;
}

emu::KeyboardEmulator Keyboard(const char* model)
{
    return emu::KeyboardEmulator(*FindKeyboardIdentity(model));
}

TEST(UhidDescriptor, EveryCollectionAndReportLengthSurvivesOurParser)
{
    const std::vector<DescriptorCollection> collections = {
        {0x000C, 0x0001, {}},                                    // one-byte page and usage
        {0xFF00, 0x0102, {Report(1, 2050), Report(2, 0, 34)}},   // two-byte usage, long report
        {0xFF00, 0x0003, {Report(9, 8, 65, 3), Report(10, 1)}},  // every part; a report of its ID alone
    };
    auto descriptor = BuildReportDescriptor(collections);
    auto parsed = hid::ParseReportDescriptor(descriptor);
    ASSERT_TRUE(parsed.ok) << parsed.error;
    ASSERT_EQ(parsed.collections.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(parsed.collections[i].number, static_cast<int>(i + 1));
        EXPECT_EQ(parsed.collections[i].usagePage, collections[i].usagePage);
        EXPECT_EQ(parsed.collections[i].usage, collections[i].usage);
    }
    EXPECT_TRUE(parsed.collections[0].reports.empty());
    EXPECT_TRUE(SameReports(parsed.collections[1].reports, collections[1].reports));
    // A report with no data bytes makes no field.
    EXPECT_TRUE(SameReports(parsed.collections[2].reports, {Report(9, 8, 65, 3)}));
}

TEST(UhidLayout, KeyboardKeepsItsCollectionNumbersAndDeclaresTheBootloaderEntryReport)
{
    for (const char* model : {"QV310", "QV420", "OEM"}) {
        SCOPED_TRACE(model);
        auto keyboard = Keyboard(model);
        auto layout = MakeLayout(keyboard);
        EXPECT_NE(layout.name.find(model), std::string::npos);
        EXPECT_EQ(layout.interfaceNumber, 1);
        auto parsed = hid::ParseReportDescriptor(layout.descriptor);
        ASSERT_TRUE(parsed.ok) << parsed.error;
        ASSERT_EQ(parsed.collections.size(), 7u);
        // 3, 4, 6 and 7 are the keyboard's; 1, 2 and 5 fill the gaps on a page no program looks at.
        for (int n : {1, 2, 5}) {
            EXPECT_EQ(parsed.collections[n - 1].usagePage, kFillerUsagePage);
            EXPECT_TRUE(parsed.collections[n - 1].reports.empty());
        }
        for (int n : {3, 4, 6, 7}) EXPECT_EQ(parsed.collections[n - 1].usagePage, 0xFF00);
        EXPECT_TRUE(SameReports(parsed.collections[2].reports, {Report(3, 8), Report(5, 8)}));
        EXPECT_TRUE(SameReports(parsed.collections[3].reports, {Report(4, 513)}));
        EXPECT_TRUE(SameReports(parsed.collections[5].reports, {Report(6, 513)}));
        EXPECT_TRUE(SameReports(parsed.collections[6].reports, {Report(7, 0, 34)}));

        // Every feature report is answered by the collection that declares it.
        ASSERT_TRUE(layout.feature(3) && layout.feature(4) && layout.feature(5) && layout.feature(6));
        EXPECT_EQ(layout.feature(3)->index, 0u);
        EXPECT_EQ(layout.feature(4)->index, 1u);
        EXPECT_EQ(layout.feature(6)->index, 2u);
        EXPECT_EQ(layout.feature(5)->index, 0u);
        EXPECT_EQ(layout.feature(5)->length, 8u);
        EXPECT_EQ(layout.feature(7), nullptr);  // an input report
    }
}

TEST(UhidLayout, BootloaderHasItsTwoVendorCollectionsOnInterfaceZero)
{
    emu::BootloaderEmulator bootloader;
    auto layout = MakeLayout(bootloader);
    EXPECT_EQ(layout.interfaceNumber, 0);
    auto parsed = hid::ParseReportDescriptor(layout.descriptor);
    ASSERT_TRUE(parsed.ok) << parsed.error;
    ASSERT_EQ(parsed.collections.size(), 2u);
    EXPECT_EQ(parsed.collections[0].usagePage, 0xFF00);
    EXPECT_EQ(parsed.collections[1].usagePage, 0xFF00);
    EXPECT_TRUE(SameReports(parsed.collections[0].reports, {Report(5, 6)}));
    EXPECT_TRUE(SameReports(parsed.collections[1].reports, {Report(6, 2050)}));
    EXPECT_EQ(layout.feature(5)->index, emu::BootloaderEmulator::kCommandIndex);
    EXPECT_EQ(layout.feature(6)->index, emu::BootloaderEmulator::kDataIndex);
}

// What the hidraw backend makes of a uhid keyboard's node: the interface from
// the physical path, so the program's collection tags match.
TEST(UhidLayout, BackendListsTheNodeWithTheKeyboardsCollectionTags)
{
    auto keyboard = Keyboard("QV310");
    auto layout = MakeLayout(keyboard);
    std::string phys = PhysicalPath(4711, 3, layout.interfaceNumber);
    EXPECT_EQ(phys.rfind("usb-", 0), 0u);
    EXPECT_LT(phys.size(), 64u);
    hidraw::HidrawNode node;
    node.devNode = "/dev/hidraw4";
    node.vendorId = keyboard.vendorId();
    node.productId = keyboard.productId();
    node.interfaceNumber = hidraw::InterfaceFromPhys(phys);
    node.descriptor = layout.descriptor;
    auto list = hidraw::CollectionsOfNode(node);
    ASSERT_EQ(list.size(), 7u);
    EXPECT_EQ(list[2].path, "/dev/hidraw4#VID_1C4F&PID_5DC4&MI_01&COL03");
    EXPECT_EQ(list[2].featureReportLength(), 8u);
    EXPECT_EQ(list[3].path, "/dev/hidraw4#VID_1C4F&PID_5DC4&MI_01&COL04");
    EXPECT_EQ(list[5].path, "/dev/hidraw4#VID_1C4F&PID_5DC4&MI_01&COL06");
    EXPECT_EQ(list[6].path, "/dev/hidraw4#VID_1C4F&PID_5DC4&MI_01&COL07");
    EXPECT_EQ(list[6].inputReportLength(), 34u);
}

TEST(UhidEvents, CreateCarriesIdsPathsAndDescriptorAndRefusesWhatDoesNotFit)
{
    DeviceInfo info;
    info.name = "ZR417 QV420 keyboard";
    info.phys = "usb-zr417-sim-1.2/input1";
    info.uniq = "ZR417SIM1.2";
    info.vendorId = 0x260D;
    info.productId = 0x0015;
    info.descriptor = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0xC0};
    auto ev = CreateEvent(info);
    ASSERT_TRUE(ev);
    EXPECT_EQ(ev->type, UHID_CREATE2);
    EXPECT_STREQ(reinterpret_cast<const char*>(ev->u.create2.name), "ZR417 QV420 keyboard");
    EXPECT_STREQ(reinterpret_cast<const char*>(ev->u.create2.phys), "usb-zr417-sim-1.2/input1");
    EXPECT_STREQ(reinterpret_cast<const char*>(ev->u.create2.uniq), "ZR417SIM1.2");
    EXPECT_EQ(ev->u.create2.bus, 0x03);
    EXPECT_EQ(ev->u.create2.vendor, 0x260Du);
    EXPECT_EQ(ev->u.create2.product, 0x0015u);
    EXPECT_EQ(ev->u.create2.rd_size, 8);
    EXPECT_EQ(std::memcmp(ev->u.create2.rd_data, info.descriptor.data(), 8), 0);

    auto longName = info;
    longName.name.assign(128, 'x');  // no room for the terminator
    EXPECT_FALSE(CreateEvent(longName));
    auto longPhys = info;
    longPhys.phys.assign(64, 'p');
    EXPECT_FALSE(CreateEvent(longPhys));
    auto big = info;
    big.descriptor.assign(HID_MAX_DESCRIPTOR_SIZE + 1, 0);
    EXPECT_FALSE(CreateEvent(big));
    auto none = info;
    none.descriptor.clear();
    EXPECT_FALSE(CreateEvent(none));
}

TEST(UhidEvents, InputAndRepliesCarryTheirBytes)
{
    std::vector<std::uint8_t> report(34, 0);
    report[0] = 7;
    report[3] = 0x10;
    auto input = InputEvent(report);
    ASSERT_TRUE(input);
    EXPECT_EQ(input->type, UHID_INPUT2);
    EXPECT_EQ(input->u.input2.size, 34);
    EXPECT_EQ(input->u.input2.data[0], 7);
    EXPECT_EQ(input->u.input2.data[3], 0x10);
    EXPECT_FALSE(InputEvent({}));
    EXPECT_FALSE(InputEvent(std::vector<std::uint8_t>(UHID_DATA_MAX + 1, 7)));

    const std::uint8_t data[] = {3, 0x51, 7, 0, 1, 0, 0, 2};
    auto reply = GetReportReply(0xABCD1234, 0, data);
    EXPECT_EQ(reply.type, UHID_GET_REPORT_REPLY);
    EXPECT_EQ(reply.u.get_report_reply.id, 0xABCD1234u);
    EXPECT_EQ(reply.u.get_report_reply.err, 0);
    EXPECT_EQ(reply.u.get_report_reply.size, 8);
    EXPECT_EQ(std::memcmp(reply.u.get_report_reply.data, data, 8), 0);
    auto refused = GetReportReply(5, EIO, data);
    EXPECT_EQ(refused.u.get_report_reply.err, EIO);
    EXPECT_EQ(refused.u.get_report_reply.size, 0);
    auto set = SetReportReply(6, EIO);
    EXPECT_EQ(set.type, UHID_SET_REPORT_REPLY);
    EXPECT_EQ(set.u.set_report_reply.id, 6u);
    EXPECT_EQ(set.u.set_report_reply.err, EIO);
    EXPECT_EQ(DestroyEvent().type, UHID_DESTROY);
}

uhid_event GetRequest(std::uint32_t id, std::uint8_t reportId, std::uint8_t type = UHID_FEATURE_REPORT)
{
    uhid_event ev{};
    ev.type = UHID_GET_REPORT;
    ev.u.get_report.id = id;
    ev.u.get_report.rnum = reportId;
    ev.u.get_report.rtype = type;
    return ev;
}

uhid_event SetRequest(std::uint32_t id, std::span<const std::uint8_t> data, std::uint8_t type = UHID_FEATURE_REPORT)
{
    uhid_event ev{};
    ev.type = UHID_SET_REPORT;
    ev.u.set_report.id = id;
    ev.u.set_report.rnum = data.empty() ? 0 : data[0];
    ev.u.set_report.rtype = type;
    ev.u.set_report.size = static_cast<std::uint16_t>(data.size());
    std::memcpy(ev.u.set_report.data, data.data(), data.size());
    return ev;
}

TEST(UhidEvents, DecodingReadsRequestsAndRefusesCutOrOverrunningEvents)
{
    auto get = DecodeEvent(GetRequest(77, 3), sizeof(uhid_event));
    ASSERT_TRUE(get);
    EXPECT_EQ(get->kind, Request::Kind::GetReport);
    EXPECT_EQ(get->id, 77u);
    EXPECT_EQ(get->reportId, 3);
    EXPECT_EQ(get->reportType, UHID_FEATURE_REPORT);

    const std::uint8_t command[] = {3, 0x4D, 2, 0, 0, 0, 0, 0};
    auto setEvent = SetRequest(78, command);
    auto set = DecodeEvent(setEvent, sizeof setEvent);
    ASSERT_TRUE(set);
    EXPECT_EQ(set->kind, Request::Kind::SetReport);
    EXPECT_EQ(set->id, 78u);
    EXPECT_EQ(set->data, std::vector<std::uint8_t>(std::begin(command), std::end(command)));

    // Just long enough, and one byte short of its data.
    const std::size_t head = offsetof(uhid_event, u) + offsetof(uhid_set_report_req, data);
    EXPECT_TRUE(DecodeEvent(setEvent, head + 8));
    EXPECT_FALSE(DecodeEvent(setEvent, head + 7));
    auto overrun = setEvent;
    overrun.u.set_report.size = UHID_DATA_MAX + 1;
    EXPECT_FALSE(DecodeEvent(overrun, sizeof overrun));
    EXPECT_FALSE(DecodeEvent(GetRequest(1, 3), offsetof(uhid_event, u) + 5));
    EXPECT_FALSE(DecodeEvent(GetRequest(1, 3), 2));

    uhid_event start{};
    start.type = UHID_START;
    EXPECT_EQ(DecodeEvent(start, sizeof start)->kind, Request::Kind::Start);
    uhid_event odd{};
    odd.type = 999;
    EXPECT_EQ(DecodeEvent(odd, sizeof odd)->kind, Request::Kind::Other);
}

TEST(UhidAnswer, KeyboardAnswersTheKernelLikeTheInProcessSimulator)
{
    auto keyboard = Keyboard("QV420");
    keyboard.setFirmwareVersion(2, 7);
    auto layout = MakeLayout(keyboard);
    auto answer = [&](const uhid_event& ev) { return *Answer(keyboard, layout, *DecodeEvent(ev, sizeof ev)); };

    const std::uint8_t status[] = {3, 0x51, 7, 0, 0, 0, 0, 0};
    auto set = answer(SetRequest(1, status));
    EXPECT_EQ(set.type, UHID_SET_REPORT_REPLY);
    EXPECT_EQ(set.u.set_report_reply.id, 1u);
    EXPECT_EQ(set.u.set_report_reply.err, 0);
    auto get = answer(GetRequest(2, 3));
    EXPECT_EQ(get.type, UHID_GET_REPORT_REPLY);
    EXPECT_EQ(get.u.get_report_reply.id, 2u);
    ASSERT_EQ(get.u.get_report_reply.err, 0);
    ASSERT_EQ(get.u.get_report_reply.size, 8);
    EXPECT_EQ(get.u.get_report_reply.data[0], 3);
    EXPECT_EQ(get.u.get_report_reply.data[4], 2);
    EXPECT_EQ(get.u.get_report_reply.data[5], 7);

    // The key matrix: written, then read back whole.
    std::vector<std::uint8_t> matrix(513);
    matrix[0] = 6;
    for (std::size_t i = 1; i < matrix.size(); ++i) matrix[i] = static_cast<std::uint8_t>(i * 3);
    EXPECT_EQ(answer(SetRequest(3, matrix)).u.set_report_reply.err, 0);
    auto back = answer(GetRequest(4, 6));
    ASSERT_EQ(back.u.get_report_reply.size, 513);
    EXPECT_EQ(std::memcmp(back.u.get_report_reply.data, matrix.data(), 513), 0);
    EXPECT_EQ(keyboard.memory().matrix[10], matrix[11]);

    // Reports the keyboard does not declare, other report types, a short
    // command, and data whose first byte is not the report's ID.
    EXPECT_EQ(answer(GetRequest(5, 9)).u.get_report_reply.err, EIO);
    EXPECT_EQ(answer(GetRequest(6, 7)).u.get_report_reply.err, EIO);  // input report 7
    EXPECT_EQ(answer(GetRequest(7, 3, UHID_INPUT_REPORT)).u.get_report_reply.err, EIO);
    const std::uint8_t shortCommand[] = {3, 0x51, 7};
    EXPECT_EQ(answer(SetRequest(8, shortCommand)).u.set_report_reply.err, EIO);
    auto mismatched = SetRequest(9, status);
    mismatched.u.set_report.rnum = 4;
    EXPECT_EQ(answer(mismatched).u.set_report_reply.err, EIO);
    EXPECT_EQ(answer(SetRequest(10, status, UHID_OUTPUT_REPORT)).u.set_report_reply.err, EIO);

    uhid_event open{};
    open.type = UHID_OPEN;
    EXPECT_FALSE(Answer(keyboard, layout, *DecodeEvent(open, sizeof open)));
}

TEST(UhidAnswer, BootloaderEntryReportMakesTheKeyboardHandOverItsSuccessor)
{
    auto keyboard = Keyboard("QV310");
    auto successor = std::make_shared<emu::BootloaderEmulator>();
    keyboard.setBootloaderFactory([&] { return successor; });
    auto layout = MakeLayout(keyboard);
    const std::uint8_t entry[] = {5, 0x75, 0, 0, 0, 0, 0, 0};
    auto ev = SetRequest(1, entry);
    auto reply = Answer(keyboard, layout, *DecodeEvent(ev, sizeof ev));
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->u.set_report_reply.err, 0);
    EXPECT_EQ(keyboard.takeSuccessor(), successor);
}

TEST(UhidAnswer, BootloaderServesItsCommandAndDataReports)
{
    emu::BootloaderEmulator bootloader;
    auto layout = MakeLayout(bootloader);
    auto answer = [&](const uhid_event& ev) { return *Answer(bootloader, layout, *DecodeEvent(ev, sizeof ev)); };
    // Read the status word: byte 0 is 0x61 on a healthy bootloader.
    const std::uint8_t readSetup[] = {5, 0x52, 0xF0, 0xFC, 0x04, 0x00};
    EXPECT_EQ(answer(SetRequest(1, readSetup)).u.set_report_reply.err, 0);
    auto status = answer(GetRequest(2, 5));
    ASSERT_EQ(status.u.get_report_reply.size, 6);
    EXPECT_EQ(status.u.get_report_reply.data[1], 0x72);
    EXPECT_EQ(status.u.get_report_reply.data[2], 0x61);
    // A 2050-byte data report fits a uhid event and is answered whole.
    auto data = answer(GetRequest(3, 6));
    EXPECT_EQ(data.u.get_report_reply.err, 0);
    EXPECT_EQ(data.u.get_report_reply.size, 2050);
}

}  // namespace
}  // namespace zr417::sim::uhid
