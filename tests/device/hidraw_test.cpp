#include "descriptors.h"
#include "platform/hidraw_input.h"
#include "platform/hidraw_sysfs.h"
#include "sysfs_tree.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>
#include <thread>

namespace zr417::hidraw {
namespace {

TEST(Uevent, ParsesIdsNameAndPhysicalPath)
{
    auto ev = ParseHidUevent(
        "DRIVER=hid-generic\nHID_ID=0003:0000260D:00000015\nHID_NAME=ZR417 Keyboard\n"
        "HID_PHYS=usb-0000:00:14.0-2/input1\nHID_UNIQ=\nMODALIAS=hid:b0003g0001v0000260Dp00000015\n");
    ASSERT_TRUE(ev);
    EXPECT_EQ(ev->bus, 3u);
    EXPECT_EQ(ev->vendorId, 0x260D);
    EXPECT_EQ(ev->productId, 0x0015);
    EXPECT_EQ(ev->name, "ZR417 Keyboard");
    EXPECT_EQ(InterfaceFromPhys(ev->phys), 1);

    EXPECT_FALSE(ParseHidUevent("HID_NAME=x\n"));
    EXPECT_FALSE(ParseHidUevent("HID_ID=0003:00001C4F\n"));
    EXPECT_FALSE(ParseHidUevent("HID_ID=0003:000XYZ4F:00005DC4\n"));
    EXPECT_FALSE(ParseHidUevent("HID_ID=0003:00011C4F:00005DC4\n"));  // more than 16 bits
}

TEST(Uevent, InterfaceOnlyFromAnInputEnding)
{
    EXPECT_EQ(InterfaceFromPhys("usb-0000:00:14.0-1/input0"), 0);
    EXPECT_EQ(InterfaceFromPhys("input12"), 12);
    EXPECT_EQ(InterfaceFromPhys("usb-0000:00:14.0-1/input"), -1);
    EXPECT_EQ(InterfaceFromPhys("usb-0000:00:14.0-1/input1x"), -1);
    EXPECT_EQ(InterfaceFromPhys(""), -1);
    EXPECT_EQ(InterfaceFromPhys("uhid-test"), -1);
}

TEST(Sysfs, UsbNodeTakesTheInterfaceFromItsUsbInterfaceFolder)
{
    testing::SysfsTree tree;
    tree.addUsb("hidraw3", 0x1C4F, 0x5DC4, 1, "usb-0000:00:14.0-1/input5", testdata::KeyboardInterface1Descriptor());
    auto node = ReadHidrawNode(tree.root, "hidraw3");
    ASSERT_TRUE(node);
    EXPECT_EQ(node->devNode, "/dev/hidraw3");
    EXPECT_EQ(node->vendorId, 0x1C4F);
    EXPECT_EQ(node->interfaceNumber, 1);  // the folder wins over the physical path

    auto collections = CollectionsOfNode(*node);
    ASSERT_EQ(collections.size(), 7u);
    EXPECT_EQ(collections[2].path, "/dev/hidraw3#VID_1C4F&PID_5DC4&MI_01&COL03");
    EXPECT_EQ(collections[2].featureReportLength(), 8);
    EXPECT_EQ(collections[6].inputReportLength(), 34);
    EXPECT_EQ(collections[6].interfaceNumber, 1);
}

TEST(Sysfs, UhidNodeTakesTheInterfaceFromItsPhysicalPath)
{
    testing::SysfsTree tree;
    tree.addUhid("hidraw0", 0x0603, 0x1020, "qemu/input1", testdata::BootloaderDescriptor());
    tree.addUhid("hidraw1", 0x046D, 0xC077, "",
                 {0x05, 0x01, 0x09, 0x02, 0xA1, 0x01, 0x75, 0x08, 0x95, 0x03, 0x81, 0x02, 0xC0});
    auto nodes = ListHidrawNodes(tree.root);
    ASSERT_EQ(nodes.size(), 2u);
    EXPECT_EQ(nodes[0].interfaceNumber, 1);
    auto boot = CollectionsOfNode(nodes[0]);
    ASSERT_EQ(boot.size(), 2u);
    EXPECT_EQ(boot[1].path, "/dev/hidraw0#VID_0603&PID_1020&MI_01&COL02");
    EXPECT_EQ(boot[1].featureReportLength(), 2050);
    auto mouse = CollectionsOfNode(nodes[1]);
    ASSERT_EQ(mouse.size(), 1u);
    EXPECT_EQ(mouse[0].path, "/dev/hidraw1#VID_046D&PID_C077");  // one collection, no interface: no tags
}

TEST(Sysfs, NodesListInNumericOrderAndBrokenOnesAreSkipped)
{
    testing::SysfsTree tree;
    tree.addUhid("hidraw10", 1, 2, "", testdata::BootloaderDescriptor());
    tree.addUhid("hidraw2", 3, 4, "", testdata::BootloaderDescriptor());
    tree.addUhid("hidraw4", 5, 6, "", {0xA1, 0x01});  // malformed: listed, without collections
    tree.addBroken("hidraw7");                        // no uevent
    auto nodes = ListHidrawNodes(tree.root);
    ASSERT_EQ(nodes.size(), 3u);
    EXPECT_EQ(nodes[0].name, "hidraw2");
    EXPECT_EQ(nodes[1].name, "hidraw4");
    EXPECT_EQ(nodes[2].name, "hidraw10");
    EXPECT_TRUE(CollectionsOfNode(nodes[1]).empty());
    EXPECT_TRUE(ListHidrawNodes(tree.root / "nothing").empty());
}

TEST(Paths, UpperCasedTagsMatchAndMapBackToTheNode)
{
    HidrawNode node{"hidraw3", "/dev/hidraw3", 0x260D, 0x0015, 1, {}};
    std::string path = CollectionPath(node, 7, 7);
    EXPECT_NE(path.find("MI_01&COL07"), std::string::npos);
    EXPECT_TRUE(EqualNoCase("/DEV/HIDRAW3#VID_260D&PID_0015&MI_01&COL07", path));
    EXPECT_FALSE(EqualNoCase("/dev/hidraw3#VID_260D&PID_0015&MI_01&COL06", path));
    EXPECT_EQ(DevNodeOfPath(path), "/dev/hidraw3");
    EXPECT_EQ(DevNodeOfPath("/dev/hidraw9"), "/dev/hidraw9");
}

struct SocketPair {
    SocketPair() { EXPECT_EQ(::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK, 0, fds), 0); }
    ~SocketPair()
    {
        if (fds[1] >= 0) ::close(fds[1]);
    }
    void send(std::vector<std::uint8_t> report)
    {
        ASSERT_EQ(::write(fds[1], report.data(), report.size()), ssize_t(report.size()));
    }
    int fds[2] = {-1, -1};
};

TEST(InputReaderTest, DeliversOnlyTheCollectionsOwnWholeReports)
{
    SocketPair pair;
    InputReader reader({{7, 0, 34, 0}}, true);
    reader.attach(pair.fds[0]);
    std::vector<std::uint8_t> report7(34, 0);
    report7[0] = 7;
    report7[2] = 0x08;
    pair.send({1, 0xE9, 0x00});                   // the consumer collection's report
    pair.send(std::vector<std::uint8_t>(20, 7));  // a short report 7
    pair.send(std::vector<std::uint8_t>(40, 7));  // an oversized one
    pair.send(report7);
    std::array<std::uint8_t, 34> data{};
    std::size_t got = 0;
    ASSERT_EQ(reader.read(data.data(), data.size(), std::chrono::seconds(5), &got), hid::ReadStatus::Ok);
    EXPECT_EQ(got, 34u);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), report7.begin()));
    EXPECT_EQ(reader.read(data.data(), data.size(), std::chrono::milliseconds(1), &got), hid::ReadStatus::Timeout);
}

TEST(InputReaderTest, UnnumberedReportsGetIdZeroInFront)
{
    SocketPair pair;
    InputReader reader({{0, 0, 9, 0}}, false);
    reader.attach(pair.fds[0]);
    pair.send({0, 0, 4, 0, 0, 0, 0, 0});
    std::array<std::uint8_t, 9> data{};
    std::size_t got = 0;
    ASSERT_EQ(reader.read(data.data(), data.size(), std::chrono::seconds(5), &got), hid::ReadStatus::Ok);
    EXPECT_EQ(got, 9u);
    EXPECT_EQ(data[0], 0);
    EXPECT_EQ(data[3], 4);
}

TEST(InputReaderTest, InterruptEndsAWaitAndGoneDeviceIsDisconnected)
{
    SocketPair pair;
    InputReader reader({{7, 0, 34, 0}}, true);
    reader.attach(pair.fds[0]);
    std::array<std::uint8_t, 34> data{};
    std::thread waker([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        reader.interrupt();
    });
    EXPECT_EQ(reader.read(data.data(), data.size(), std::chrono::seconds(30), nullptr), hid::ReadStatus::Interrupted);
    waker.join();
    reader.interrupt();  // with nobody waiting, the next read returns at once
    EXPECT_EQ(reader.read(data.data(), data.size(), std::chrono::seconds(30), nullptr), hid::ReadStatus::Interrupted);

    ::close(pair.fds[1]);
    pair.fds[1] = -1;
    EXPECT_EQ(reader.read(data.data(), data.size(), std::chrono::seconds(30), nullptr), hid::ReadStatus::Disconnected);
    EXPECT_TRUE(reader.gone());
    EXPECT_EQ(reader.read(data.data(), data.size(), std::chrono::seconds(30), nullptr), hid::ReadStatus::Disconnected);
}

}  // namespace
}  // namespace zr417::hidraw
