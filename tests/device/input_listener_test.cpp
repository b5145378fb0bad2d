#include "device/input_listener.h"
#include "config/keys.h"
#include "fixtures.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

namespace zr417::testing {
namespace {

// Codes of a report with the given bytes set, of which `length` arrived.
std::vector<std::uint8_t> codesOf(std::initializer_list<std::pair<int, std::uint8_t>> bytes, std::size_t length = 34)
{
    std::vector<std::uint8_t> report(34, 0);
    report[0] = 7;
    for (auto [i, v] : bytes) report[i] = v;
    return CodesOfInputReport(report.data(), length);
}

TEST(InputReport, OneCodePerByteFromItsLowestBit)
{
    EXPECT_EQ(codesOf({{1, 0x03}}), std::vector<std::uint8_t>{0x29});  // Esc wins over `
    EXPECT_EQ(codesOf({{2, 0x01}}), std::vector<std::uint8_t>{0x00});  // unmapped position
    EXPECT_EQ(codesOf({{1, 0x80}}), std::vector<std::uint8_t>{0x00});  // bits 6 and 7 map to 0
    EXPECT_EQ(codesOf({{21, 0x10}, {3, 0x24}, {14, 0x08}}), (std::vector<std::uint8_t>{0x1A, 0x28, 0x58}));
    EXPECT_TRUE(codesOf({{22, 0xFF}, {33, 0x01}}).empty());  // bytes past the bitmap are unused
    EXPECT_TRUE(codesOf({{5, 0x01}}, 5).empty());            // a short report lacks byte 5
}

// Holds scripted input reports for the listener.
class ScriptedInput : public hid::Device {
public:
    void push(std::vector<std::uint8_t> report, hid::ReadStatus status = hid::ReadStatus::Ok)
    {
        std::lock_guard lock(mutex_);
        queue_.push_back({std::move(report), status});
        cv_.notify_all();
    }
    bool setFeature(const std::uint8_t*, std::size_t) override { return false; }
    bool getFeature(std::uint8_t*, std::size_t) override { return false; }
    hid::ReadStatus readInput(std::uint8_t* data, std::size_t length, std::chrono::milliseconds timeout,
                              std::size_t* received) override
    {
        std::unique_lock lock(mutex_);
        ++reads;
        cv_.wait_for(lock, timeout, [&] { return !queue_.empty() || interrupted_; });
        if (std::exchange(interrupted_, false)) return hid::ReadStatus::Interrupted;
        if (queue_.empty()) return hid::ReadStatus::Timeout;
        auto [report, status] = queue_.front();
        if (status != hid::ReadStatus::Disconnected)  // a gone device stays gone
            queue_.erase(queue_.begin());
        std::size_t n = std::min(length, report.size());
        std::copy_n(report.begin(), n, data);
        *received = n;
        return status;
    }
    void interruptRead() override
    {
        std::lock_guard lock(mutex_);
        interrupted_ = true;
        cv_.notify_all();
    }
    int reads = 0;

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<std::pair<std::vector<std::uint8_t>, hid::ReadStatus>> queue_;
    bool interrupted_ = false;
};

struct Received {
    std::mutex mutex;
    std::condition_variable cv;
    std::vector<std::uint8_t> codes;
    int notConnected = 0;

    InputListener::Callbacks callbacks()
    {
        return {[this](std::uint8_t c) {
                    std::lock_guard lock(mutex);
                    codes.push_back(c);
                    cv.notify_all();
                },
                [this] {
                    std::lock_guard lock(mutex);
                    ++notConnected;
                    cv.notify_all();
                }};
    }
    template <class Pred>
    bool waitFor(Pred pred)
    {
        std::unique_lock lock(mutex);
        return cv.wait_for(lock, std::chrono::seconds(10), pred);
    }
};

TEST(Listener, DeliversEveryReportInOrderAndStopsOnTheFlag)
{
    Received got;
    std::atomic<bool> stop{false};
    auto input = std::make_shared<ScriptedInput>();
    InputListener listener(got.callbacks());
    ASSERT_TRUE(listener.start(input, stop));
    EXPECT_FALSE(listener.start(input, stop));  // one run at a time
    input->push({7, 0x03, 0x08});
    input->push({7, 0x00, 0x08});
    ASSERT_TRUE(got.waitFor([&] { return got.codes.size() == 3; }));
    EXPECT_EQ(got.codes, (std::vector<std::uint8_t>{0x29, 0x04, 0x04}));

    stop = true;
    listener.stop();
    listener.join();
    EXPECT_FALSE(listener.running());
}

TEST(Listener, GoneDeviceIsReportedAndPolledWithoutSpinning)
{
    Received got;
    std::atomic<bool> stop{false};
    auto input = std::make_shared<ScriptedInput>();
    input->push({}, hid::ReadStatus::Disconnected);
    InputListener listener(got.callbacks());
    ASSERT_TRUE(listener.start(input, stop));
    ASSERT_TRUE(got.waitFor([&] { return got.notConnected >= 2; }));
    listener.stop();
    listener.join();
    // Each failed read is followed by a 200 ms pause: the thread lived at
    // least 200 ms, so a spinning loop would have made thousands of reads.
    EXPECT_LT(input->reads, 50);
}

TEST(Listener, AStoppedRunNeverResumesWhenTheFlagIsCleared)
{
    Received got;
    std::atomic<bool> stop{false};
    auto first = std::make_shared<ScriptedInput>();
    auto second = std::make_shared<ScriptedInput>();
    InputListener listener(got.callbacks());
    ASSERT_TRUE(listener.start(first, stop));
    stop = true;
    listener.stop();
    stop = false;  // the next arrival clears the flag at once
    EXPECT_FALSE(listener.running());
    ASSERT_TRUE(listener.start(second, stop));
    first->push({7, 0x01});
    second->push({7, 0x00, 0x02});
    ASSERT_TRUE(got.waitFor([&] { return !got.codes.empty(); }));
    listener.stop();
    listener.join();
    EXPECT_EQ(got.codes, std::vector<std::uint8_t>{0x1E});  // only the new run reads
}

TEST(Listener, EmulatedKeyboardReportsHostActionKeys)
{
    Received got;
    EmulatedKeyboard kb;
    DeviceLink link(kb.bus, {{}, got.callbacks().keyCode, got.callbacks().notConnected}, [](auto) {});
    ASSERT_TRUE(link.OpenAtStartup());

    const int keyA = 59, keyEnter = 70;
    auto memory = kb.keyboard->memory();
    EXPECT_FALSE(kb.keyboard->pressKey(g_matrixPosByKey[keyA]));  // not a host-action key yet
    memory.matrix[g_matrixPosByKey[keyA]] = 0xFA;
    memory.matrix[g_matrixPosByKey[keyEnter]] = 0xFA;
    kb.keyboard->setMemory(memory);
    EXPECT_TRUE(kb.keyboard->pressKey(g_matrixPosByKey[keyA]));
    EXPECT_TRUE(kb.keyboard->pressKey(g_matrixPosByKey[keyEnter]));
    ASSERT_TRUE(got.waitFor([&] { return got.codes.size() == 2; }));
    EXPECT_EQ(got.codes, (std::vector<std::uint8_t>{0x04, 0x28}));

    kb.bus.unplug(kb.port);
    ASSERT_TRUE(got.waitFor([&] { return got.notConnected >= 1; }));
    link.OnPlugEvents(kb.bus.drainEvents());
    EXPECT_FALSE(link.listenerRunning());
}

void setEntry(ConfigImage& image, std::size_t e, std::uint8_t vk, std::uint8_t kind, std::u16string path)
{
    std::uint8_t* en = image.entry(e);
    en[entry::Vk] = vk;
    en[entry::Kind] = kind;
    for (std::size_t i = 0; i < path.size(); ++i) {
        en[entry::Path + 2 * i] = static_cast<std::uint8_t>(path[i] & 0xFF);
        en[entry::Path + 2 * i + 1] = static_cast<std::uint8_t>(path[i] >> 8);
    }
}

TEST(HostAction, LowerEntryWinsAndOnlyHostActionKindsCount)
{
    ConfigImage image;
    setEntry(image, 3, 0x41, 2, u"/not/a/host/action");  // a macro on A
    setEntry(image, 40, 0x41, 5, u"/usr/bin/first");
    setEntry(image, 200, 0x41, 7, u"/home/user/second");
    std::vector<HostAction> opened;
    OnKeyEvent(image, 0x04, [&](const HostAction& a) { opened.push_back(a); });
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].entry, 40u);
    EXPECT_EQ(opened[0].kind, 5);
    EXPECT_EQ(opened[0].directory, "/usr/bin");
    EXPECT_EQ(opened[0].file, "first");

    OnKeyEvent(image, 0x05, [&](const HostAction& a) { opened.push_back(a); });  // B: nothing assigned
    setEntry(image, 150, 0x07, 4, u"/x/y");                                      // virtual key without a device code
    OnKeyEvent(image, 0x00, [&](const HostAction& a) { opened.push_back(a); });
    EXPECT_EQ(opened.size(), 1u);
}

TEST(HostAction, PathSplitsAtTheLastSlash)
{
    using P = std::pair<std::string, std::string>;
    EXPECT_EQ(SplitHostPath("/home/user/Music/song.wav"), (P{"/home/user/Music", "song.wav"}));
    EXPECT_EQ(SplitHostPath("/home/user/Music"), (P{"/home/user", "Music"}));  // a folder opens in its parent
    // A backslash is part of a Linux file name, never a separator: splitting
    // there would start a different program.
    EXPECT_EQ(SplitHostPath("/w/a\\b.sh"), (P{"/w", "a\\b.sh"}));
    EXPECT_EQ(SplitHostPath("C:\\Games\\run.exe"), (P{"", "C:\\Games\\run.exe"}));
    EXPECT_EQ(SplitHostPath("song.wav"), (P{"", "song.wav"}));
    EXPECT_EQ(SplitHostPath("/vmlinuz"), (P{"/", "vmlinuz"}));
    EXPECT_EQ(SplitHostPath(""), (P{"", ""}));
}

TEST(HostAction, StoredPathDecodesFromUtf16AndStaysInsideTheEntry)
{
    ConfigImage image;
    setEntry(image, 0, 0x1B, 6, u"/home/j\u00fcrgen/\u6587\u4ef6 \U0001F3B5.txt");
    EXPECT_EQ(EntryPath(image, 0),
              std::string(reinterpret_cast<const char*>(u8"/home/j\u00fcrgen/\u6587\u4ef6 \U0001F3B5.txt")));

    setEntry(image, 1, 0x1B, 6, std::u16string(256, u'a'));  // no terminator
    EXPECT_EQ(EntryPath(image, 1).size(), 255u);
    setEntry(image, 2, 0x1B, 6, std::u16string(u"/a\xD800/b"));  // a lone surrogate
    EXPECT_EQ(EntryPath(image, 2), "/a\xEF\xBF\xBD/b");
}

}  // namespace
}  // namespace zr417::testing
