#include "device/input_listener.h"

#include "config/keys.h"
#include "device/identities.h"
#include "platform/text.h"

#include <bit>
#include <utility>

namespace zr417 {

// clang-format off
const std::array<std::array<std::uint8_t, 8>, kInputBitmapBytes> g_positionCodes{{
    {0x29, 0x35, 0x2B, 0x39, 0xE1, 0xE0},  // byte 1
    {0x00, 0x1E, 0x14, 0x04, 0x00, 0xE3},
    {0x3A, 0x1F, 0x1A, 0x16, 0x1D, 0xE2},
    {0x3B, 0x20, 0x08, 0x07, 0x1B, 0x00},
    {0x3C, 0x21, 0x15, 0x09, 0x06, 0x00},  // byte 5
    {0x3D, 0x22, 0x17, 0x0A, 0x19, 0x00},
    {0x3E, 0x23, 0x1C, 0x0B, 0x05, 0x2C},
    {0x3F, 0x24, 0x18, 0x0D, 0x11, 0x00},
    {0x40, 0x25, 0x0C, 0x0E, 0x10, 0x00},
    {0x41, 0x26, 0x12, 0x0F, 0x36, 0x00},  // byte 10
    {0x42, 0x27, 0x13, 0x33, 0x37, 0xE6},
    {0x43, 0x2D, 0x2F, 0x34, 0x38, 0xE7},
    {0x44, 0x2E, 0x30, 0x89, 0x00, 0x65},
    {0x45, 0x2A, 0x31, 0x28, 0xE5, 0xE4},
    {0x46, 0x49, 0x4C, 0x00, 0x00, 0x50},  // byte 15
    {0x47, 0x4A, 0x4D, 0x00, 0x52, 0x51},
    {0x48, 0x4B, 0x4E, 0x00, 0x00, 0x4F},
    {0x00, 0x53, 0x5F, 0x5C, 0x59, 0x62},
    {0x00, 0x54, 0x60, 0x5D, 0x5A, 0x00},
    {0x00, 0x55, 0x61, 0x5E, 0x5B, 0x63},  // byte 20
    {0x00, 0x56, 0x57, 0x00, 0x58, 0x00},
}};
// clang-format on

std::vector<std::uint8_t> CodesOfInputReport(const std::uint8_t* report, std::size_t length)
{
    std::vector<std::uint8_t> codes;
    for (std::size_t i = 1; i <= kInputBitmapBytes && i < length; ++i)
        if (report[i] != 0) codes.push_back(g_positionCodes[i - 1][std::countr_zero(report[i])]);
    return codes;
}

struct InputListener::Run {
    std::shared_ptr<hid::Device> device;
    std::atomic<bool> stopRequested{false};
    std::atomic<bool> ended{false};
    std::mutex mutex;
    std::condition_variable wake;
};

InputListener::InputListener(Callbacks callbacks) : callbacks_(std::move(callbacks)) {}

InputListener::~InputListener()
{
    stop();
    join();
}

bool InputListener::running() const
{
    std::lock_guard lock(mutex_);
    return current_ && !current_->ended && !current_->stopRequested;
}

bool InputListener::start(std::shared_ptr<hid::Device> device, const std::atomic<bool>& stopFlag)
{
    if (!device) return false;
    reapEnded();
    std::lock_guard lock(mutex_);
    if (current_ && !current_->ended && !current_->stopRequested) return false;
    auto run = std::make_shared<Run>();
    run->device = std::move(device);
    current_ = run;
    runs_.emplace_back(run, std::thread([this, run, &stopFlag] { loop(run, stopFlag); }));
    return true;
}

void InputListener::stop()
{
    std::shared_ptr<Run> run;
    {
        std::lock_guard lock(mutex_);
        run = std::exchange(current_, nullptr);
    }
    if (!run) return;
    {
        std::lock_guard lock(run->mutex);
        run->stopRequested = true;
        if (run->device) run->device->interruptRead();
    }
    run->wake.notify_all();
}

void InputListener::join()
{
    std::vector<std::pair<std::shared_ptr<Run>, std::thread>> runs;
    {
        std::lock_guard lock(mutex_);
        runs.swap(runs_);
    }
    for (auto& [run, thread] : runs)
        if (thread.joinable()) thread.join();
}

void InputListener::reapEnded()
{
    std::vector<std::thread> ended;
    {
        std::lock_guard lock(mutex_);
        for (auto it = runs_.begin(); it != runs_.end();) {
            if (it->first->ended) {
                ended.push_back(std::move(it->second));
                it = runs_.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto& t : ended) t.join();
}

void InputListener::loop(std::shared_ptr<Run> run, const std::atomic<bool>& stopFlag)
{
    auto stopping = [&] { return stopFlag.load() || run->stopRequested.load(); };
    // Waits without spinning after a failed read (a gone device fails at once).
    auto pause = [&] {
        std::unique_lock lock(run->mutex);
        run->wake.wait_for(lock, kReadWait, [&] { return run->stopRequested.load(); });
    };
    // The loop's own reference; the run's goes as soon as the loop ends, so
    // the handle closes with the removal rather than at the next start.
    std::shared_ptr<hid::Device> device = run->device;
    std::array<std::uint8_t, kInputReportLength> report{};
    while (!stopping()) {
        report.fill(0);  // a short report must not repeat the keys of the last one
        report[0] = kInputReportId;
        std::size_t received = 0;
        hid::ReadStatus status = device->readInput(report.data(), report.size(), kReadWait, &received);
        if (stopping()) break;
        switch (status) {
            case hid::ReadStatus::Ok:
                for (std::uint8_t code : CodesOfInputReport(report.data(), received))
                    if (callbacks_.keyCode) callbacks_.keyCode(code);
                break;
            case hid::ReadStatus::Disconnected:
                if (callbacks_.notConnected) callbacks_.notConnected();
                pause();
                break;
            case hid::ReadStatus::Error:
                pause();
                break;
            case hid::ReadStatus::Timeout:
            case hid::ReadStatus::Interrupted:
                break;
        }
    }
    {
        std::lock_guard lock(run->mutex);
        run->device.reset();
    }
    device.reset();
    run->ended = true;
}

std::pair<std::string, std::string> SplitHostPath(const std::string& path)
{
    // A backslash is an ordinary character of a Linux file name: "a\b.sh" is
    // one file, not b.sh in a folder a.
    auto cut = path.rfind('/');
    if (cut == std::string::npos) return {std::string(), path};
    std::string directory = path.substr(0, cut);
    if (directory.empty()) directory = path.substr(0, 1);  // a file in the root folder
    return {directory, path.substr(cut + 1)};
}

std::string EntryPath(const ConfigImage& image, std::size_t e)
{
    return Utf16ToUtf8(ReadEntryPath(image.entry(e)));
}

std::optional<HostAction> FindHostAction(const ConfigImage& image, std::uint8_t code)
{
    if (code == 0)  // an unmapped position
        return std::nullopt;
    for (std::size_t e = 0; e < kKeyEntryCount; ++e) {
        const std::uint8_t* en = image.entry(e);
        std::uint8_t kind = en[entry::Kind];
        if (kind >= 4 && kind <= 7 && KeyCode(en[entry::Vk]) == code) {
            auto [directory, file] = SplitHostPath(EntryPath(image, e));
            return HostAction{e, kind, std::move(directory), std::move(file)};
        }
    }
    return std::nullopt;
}

void OnKeyEvent(const ConfigImage& image, std::uint8_t code, const HostActionOpener& open)
{
    if (auto action = FindHostAction(image, code); action && open) open(*action);
}

}  // namespace zr417
