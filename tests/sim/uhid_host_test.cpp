// The uhid host against a fake kernel: each /dev/uhid file is one end of a
// socket pair whose messages keep their bounds as uhid events do. The test
// plays the kernel: it reads what the host creates and replies, and sends it
// report requests.
#include "sim/uhid_host.h"
#include "../device/sysfs_tree.h"
#include "config/keys.h"
#include "device/emu/bootloader_emulator.h"
#include "device/emu/keyboard_emulator.h"
#include "device/identities.h"
#include "device/report_descriptor.h"
#include "sim/uhid_events.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <thread>

namespace zr417::sim {
namespace {

using namespace std::chrono_literals;

class FakeKernel {
public:
    ~FakeKernel()
    {
        for (int fd : ends_)
            if (fd >= 0) ::close(fd);
    }

    // The host's opener: a new device file.
    int open()
    {
        if (refuse) {
            errno = EACCES;
            return -1;
        }
        int pair[2];
        if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0) return -1;
        int flags = O_NONBLOCK;
        ::fcntl(pair[1], F_SETFL, flags);
        std::lock_guard lock(mutex_);
        ends_.push_back(pair[0]);
        return pair[1];
    }

    std::size_t devices() const
    {
        std::lock_guard lock(mutex_);
        return ends_.size();
    }

    // The next event the host wrote on device file `i`; type 0xFFFF on timeout.
    uhid_event read(std::size_t i, std::chrono::milliseconds timeout = 2000ms)
    {
        uhid_event ev{};
        ev.type = 0xFFFF;
        // The host may still be opening that device file on its own thread.
        auto deadline = std::chrono::steady_clock::now() + timeout;
        while (devices() <= i && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(1ms);
        if (devices() <= i) return ev;
        int fd = end(i);
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(timeout.count())) == 1 && (p.revents & POLLIN)) {
            if (::recv(fd, &ev, sizeof ev, 0) != static_cast<ssize_t>(sizeof ev)) ev.type = 0xFFFE;
        }
        return ev;
    }
    void send(std::size_t i, const uhid_event& ev) { ASSERT_EQ(::send(end(i), &ev, sizeof ev, 0), (ssize_t)sizeof ev); }

    uhid_event get(std::size_t i, std::uint32_t id, std::uint8_t reportId)
    {
        uhid_event ev{};
        ev.type = UHID_GET_REPORT;
        ev.u.get_report.id = id;
        ev.u.get_report.rnum = reportId;
        ev.u.get_report.rtype = UHID_FEATURE_REPORT;
        send(i, ev);
        return read(i);
    }
    uhid_event set(std::size_t i, std::uint32_t id, std::vector<std::uint8_t> report)
    {
        uhid_event ev{};
        ev.type = UHID_SET_REPORT;
        ev.u.set_report.id = id;
        ev.u.set_report.rnum = report[0];
        ev.u.set_report.rtype = UHID_FEATURE_REPORT;
        ev.u.set_report.size = static_cast<std::uint16_t>(report.size());
        std::memcpy(ev.u.set_report.data, report.data(), report.size());
        send(i, ev);
        return read(i);
    }

    // The device file's kernel end goes away.
    void close(std::size_t i)
    {
        std::lock_guard lock(mutex_);
        ::close(ends_.at(i));
        ends_.at(i) = -1;
    }

    bool refuse = false;

private:
    int end(std::size_t i)
    {
        std::lock_guard lock(mutex_);
        return ends_.at(i);
    }
    mutable std::mutex mutex_;
    std::vector<int> ends_;
};

std::vector<std::uint8_t> Status()
{
    return {3, 0x51, 7, 0, 0, 0, 0, 0};
}

class UhidHostTest : public ::testing::Test {
protected:
    UhidHostTest()
    {
        UhidHost::Options options;
        options.open = [this] { return kernel_.open(); };
        options.announce = false;
        host_ = std::make_unique<UhidHost>(std::move(options));
    }

    std::shared_ptr<emu::KeyboardEmulator> keyboard(const char* model)
    {
        return std::make_shared<emu::KeyboardEmulator>(*FindKeyboardIdentity(model));
    }

    FakeKernel kernel_;
    std::unique_ptr<UhidHost> host_;
};

TEST_F(UhidHostTest, KeyboardIsCreatedWithItsIdsPathAndDescriptorAndAnswersReports)
{
    auto kb = keyboard("QV310");
    kb->setFirmwareVersion(1, 4);
    int port = host_->attach(kb);
    ASSERT_GT(port, 0);
    EXPECT_EQ(host_->portOf(kb.get()), port);

    auto create = kernel_.read(0);
    ASSERT_EQ(create.type, UHID_CREATE2);
    EXPECT_EQ(create.u.create2.vendor, 0x1C4Fu);
    EXPECT_EQ(create.u.create2.product, 0x5DC4u);
    std::string phys(reinterpret_cast<const char*>(create.u.create2.phys));
    EXPECT_EQ(phys.substr(phys.size() - 7), "/input1");
    auto parsed = hid::ParseReportDescriptor({create.u.create2.rd_data, create.u.create2.rd_size});
    ASSERT_TRUE(parsed.ok);
    EXPECT_EQ(parsed.collections.size(), 7u);

    auto set = kernel_.set(0, 41, Status());
    ASSERT_EQ(set.type, UHID_SET_REPORT_REPLY);
    EXPECT_EQ(set.u.set_report_reply.id, 41u);
    EXPECT_EQ(set.u.set_report_reply.err, 0);
    auto get = kernel_.get(0, 42, 3);
    ASSERT_EQ(get.type, UHID_GET_REPORT_REPLY);
    EXPECT_EQ(get.u.get_report_reply.id, 42u);
    EXPECT_EQ(get.u.get_report_reply.err, 0);
    EXPECT_EQ(get.u.get_report_reply.data[4], 1);
    EXPECT_EQ(get.u.get_report_reply.data[5], 4);

    // Events that ask for nothing get nothing.
    uhid_event open{};
    open.type = UHID_OPEN;
    kernel_.send(0, open);
    EXPECT_EQ(kernel_.read(0, 100ms).type, 0xFFFFu);

    host_->detach(port);
    EXPECT_EQ(kernel_.read(0).type, UHID_DESTROY);
    EXPECT_EQ(host_->portOf(kb.get()), 0);
}

TEST_F(UhidHostTest, HostActionKeyBecomesTwoInputReports)
{
    auto kb = keyboard("QV420");
    auto memory = kb->memory();
    int pos = g_matrixPosByKey[59];
    memory.matrix[pos] = 0xFA;
    kb->setMemory(memory);
    ASSERT_GT(host_->attach(kb), 0);
    ASSERT_EQ(kernel_.read(0).type, UHID_CREATE2);
    ASSERT_TRUE(kb->pressKey(pos));
    auto pressed = kernel_.read(0);
    auto released = kernel_.read(0);
    ASSERT_EQ(pressed.type, UHID_INPUT2);
    ASSERT_EQ(released.type, UHID_INPUT2);
    EXPECT_EQ(pressed.u.input2.size, 34);
    EXPECT_EQ(pressed.u.input2.data[0], 7);
    int set = 0;
    for (int i = 1; i < 34; ++i) set += pressed.u.input2.data[i] != 0;
    EXPECT_EQ(set, 1);
    for (int i = 1; i < 34; ++i) EXPECT_EQ(released.u.input2.data[i], 0);
}

TEST_F(UhidHostTest, KeyboardSentTheBootloaderEntryReportIsReplacedByItsBootloader)
{
    auto kb = keyboard("OEM");
    auto bootloader = std::make_shared<emu::BootloaderEmulator>();
    kb->setBootloaderFactory([&] { return bootloader; });
    int port = host_->attach(kb);
    ASSERT_EQ(kernel_.read(0).type, UHID_CREATE2);

    auto reply = kernel_.set(0, 7, {5, 0x75, 0, 0, 0, 0, 0, 0});
    ASSERT_EQ(reply.type, UHID_SET_REPORT_REPLY);
    EXPECT_EQ(reply.u.set_report_reply.err, 0);
    EXPECT_EQ(kernel_.read(0).type, UHID_DESTROY);
    EXPECT_EQ(host_->portOf(kb.get()), 0);

    // The bootloader comes as a new device, on interface 0.
    auto create = kernel_.read(1);
    ASSERT_EQ(create.type, UHID_CREATE2);
    EXPECT_EQ(create.u.create2.vendor, 0x0603u);
    EXPECT_EQ(create.u.create2.product, 0x1020u);
    std::string phys(reinterpret_cast<const char*>(create.u.create2.phys));
    EXPECT_EQ(phys.substr(phys.size() - 7), "/input0");
    int newPort = host_->portOf(bootloader.get());
    EXPECT_GT(newPort, port);
    auto setup = kernel_.set(1, 8, {5, 0x52, 0xF0, 0xFC, 0x04, 0x00});
    EXPECT_EQ(setup.u.set_report_reply.err, 0);
    auto status = kernel_.get(1, 9, 5);
    EXPECT_EQ(status.u.get_report_reply.data[2], 0x61);
}

// The report in flight when the device goes fails; the device before it and
// the other device are not touched.
TEST_F(UhidHostTest, DeviceDestroyedInTheMiddleOfAReportFailsThatReportOnly)
{
    auto first = keyboard("QV310");
    auto second = keyboard("QV420");
    int port = host_->attach(first);
    ASSERT_GT(host_->attach(second), 0);
    ASSERT_EQ(kernel_.read(0).type, UHID_CREATE2);
    ASSERT_EQ(kernel_.read(1).type, UHID_CREATE2);

    host_->detachAfterReports(port, 2);
    EXPECT_EQ(kernel_.set(0, 1, Status()).u.set_report_reply.err, 0);
    EXPECT_EQ(kernel_.get(0, 2, 3).u.get_report_reply.err, 0);
    // The third is never answered: the device is destroyed instead.
    EXPECT_EQ(kernel_.get(0, 3, 3).type, UHID_DESTROY);
    EXPECT_EQ(host_->portOf(first.get()), 0);

    EXPECT_EQ(kernel_.set(1, 4, Status()).u.set_report_reply.err, 0);
    auto get = kernel_.get(1, 5, 3);
    EXPECT_EQ(get.type, UHID_GET_REPORT_REPLY);
    EXPECT_EQ(get.u.get_report_reply.err, 0);
    EXPECT_GT(host_->portOf(second.get()), 0);
}

TEST_F(UhidHostTest, BrokenOrRefusedDeviceFileLeavesTheRestWorking)
{
    kernel_.refuse = true;
    auto refused = keyboard("QV310");
    EXPECT_EQ(host_->attach(refused), 0);
    EXPECT_EQ(host_->portOf(refused.get()), 0);
    kernel_.refuse = false;

    auto gone = keyboard("QV420");
    auto kept = keyboard("OEM");
    ASSERT_GT(host_->attach(gone), 0);
    ASSERT_GT(host_->attach(kept), 0);
    ASSERT_EQ(kernel_.read(0).type, UHID_CREATE2);
    ASSERT_EQ(kernel_.read(1).type, UHID_CREATE2);
    // A request whose size overruns the event is dropped unanswered.
    uhid_event garbage{};
    garbage.type = UHID_SET_REPORT;
    garbage.u.set_report.size = 0xFFFF;
    kernel_.send(0, garbage);
    EXPECT_EQ(kernel_.read(0, 100ms).type, 0xFFFFu);
    EXPECT_EQ(kernel_.set(0, 1, Status()).u.set_report_reply.err, 0);
    // Device file 0 breaks (its kernel end closes): the host lets that device go.
    kernel_.close(0);
    for (int i = 0; i < 100 && host_->portOf(gone.get()) != 0; ++i) std::this_thread::sleep_for(10ms);
    EXPECT_EQ(host_->portOf(gone.get()), 0);
    EXPECT_EQ(kernel_.set(1, 2, Status()).u.set_report_reply.err, 0);
    EXPECT_GT(host_->portOf(kept.get()), 0);
}

TEST_F(UhidHostTest, DestroyingTheHostDestroysEveryDevice)
{
    auto a = keyboard("QV310");
    auto b = std::make_shared<emu::BootloaderEmulator>();
    ASSERT_GT(host_->attach(a), 0);
    ASSERT_GT(host_->attach(b), 0);
    ASSERT_EQ(kernel_.read(0).type, UHID_CREATE2);
    ASSERT_EQ(kernel_.read(1).type, UHID_CREATE2);
    host_.reset();
    EXPECT_EQ(kernel_.read(0).type, UHID_DESTROY);
    EXPECT_EQ(kernel_.read(1).type, UHID_DESTROY);
}

TEST(UhidNodes, NodeIsFoundByItsPhysicalPath)
{
    testing::SysfsTree tree;
    tree.addUsb("hidraw0", 0x046D, 0xC31C, 0, "usb-0000:00:14.0-1/input0", {0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0xC0});
    tree.addUhid("hidraw3", 0x1C4F, 0x5DC4, "usb-zr417-sim-7.1/input1",
                 {0x06, 0x00, 0xFF, 0x09, 0x03, 0xA1, 0x01, 0xC0});
    tree.addUhid("hidraw4", 0x1C4F, 0x5DC4, "usb-zr417-sim-7.11/input1",
                 {0x06, 0x00, 0xFF, 0x09, 0x03, 0xA1, 0x01, 0xC0});
    tree.addBroken("hidraw9");
    EXPECT_EQ(FindHidrawNodeByPhys(tree.root, "usb-zr417-sim-7.1/input1"), "hidraw3");
    EXPECT_EQ(FindHidrawNodeByPhys(tree.root, "usb-zr417-sim-7.11/input1"), "hidraw4");
    EXPECT_EQ(FindHidrawNodeByPhys(tree.root, "usb-zr417-sim-7.2/input1"), std::nullopt);
    EXPECT_EQ(FindHidrawNodeByPhys(tree.root / "nothing", "usb-zr417-sim-7.1/input1"), std::nullopt);
}

}  // namespace
}  // namespace zr417::sim
