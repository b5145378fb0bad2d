// The listener for the reports the keyboard sends on its input collection
// (host-action keys), and the look-up that turns a reported key into the
// action stored in the key table.
#pragma once

#include "config/image.h"
#include "device/hid.h"

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace zr417 {

// Input report 7: byte 0 the report ID, bytes 1..21 a bitmap of positions.
constexpr int kInputBitmapBytes = 21;

// Device code of bit j (0..7) of report byte i (1..21) is
// g_positionCodes[i - 1][j]; bits 6 and 7 map to 0.
extern const std::array<std::array<std::uint8_t, 8>, kInputBitmapBytes> g_positionCodes;

// The device codes an input report delivers: one per non-zero bitmap byte,
// the code of its lowest set bit, in byte order. `report` holds `length`
// bytes starting with the report ID; missing bytes count as zero.
std::vector<std::uint8_t> CodesOfInputReport(const std::uint8_t* report, std::size_t length);

// Runs InputListenThread. One thread at a time per listener; each run has
// its own stop request, so a run that is being stopped never resumes when the
// owner clears the shared stop flag for a new run.
class InputListener {
public:
    struct Callbacks {
        std::function<void(std::uint8_t code)> keyCode;  // a mapped position was reported: a host action
        std::function<void()> notConnected;              // the read failed: device gone
    };

    explicit InputListener(Callbacks callbacks);
    ~InputListener();  // stops and joins every run
    InputListener(const InputListener&) = delete;
    InputListener& operator=(const InputListener&) = delete;

    // Starts a thread that reads `device` until `stopFlag` (g_bStopListen) is
    // set or stop() is called. False when a run is still going.
    bool start(std::shared_ptr<hid::Device> device, const std::atomic<bool>& stopFlag);
    // True from start() until the run was asked to stop or ended by itself.
    bool running() const;
    // Asks the current run to end promptly (its wait is interrupted); does not
    // wait for it, so it is safe on a thread the callbacks block on.
    void stop();
    // Waits for every run to end (callers must not be what the callbacks wait for).
    void join();

    // Waits of the loop (a read, and the pause after a failed read).
    static constexpr std::chrono::milliseconds kReadWait{200};

private:
    struct Run;
    void loop(std::shared_ptr<Run> run, const std::atomic<bool>& stopFlag);
    void reapEnded();

    Callbacks callbacks_;
    mutable std::mutex mutex_;
    std::shared_ptr<Run> current_;
    std::vector<std::pair<std::shared_ptr<Run>, std::thread>> runs_;
};

// The host action of a key-table entry: open `file` with `directory` as the
// working directory (an empty directory: none given).
struct HostAction {
    std::size_t entry = 0;
    std::uint8_t kind = 0;  // 4 sound, 5 program, 6 file, 7 folder
    std::string directory;
    std::string file;
};

// Splits a stored path at its last '/': directory before, file name after.
// No '/': a file name alone. "/x" keeps "/" as its directory.
std::pair<std::string, std::string> SplitHostPath(const std::string& path);

// The UTF-16LE path of a key-table entry (bytes 260.., up to 255 characters)
// as UTF-8; unpaired surrogates become U+FFFD.
std::string EntryPath(const ConfigImage& image, std::size_t entry);

// OnKeyEvent's look-up: the first entry (0..254) whose kind is a host action
// (4..7) and whose virtual key has `code` as its device code.
std::optional<HostAction> FindHostAction(const ConfigImage& image, std::uint8_t code);

// What opens a host action: the window side (a program starts detached in its
// folder, files and folders open with the desktop's handler; never a shell).
using HostActionOpener = std::function<void(const HostAction&)>;

// OnKeyEvent: looks the code up and hands the action to `open`; nothing
// happens for a code no entry matches.
void OnKeyEvent(const ConfigImage& image, std::uint8_t code, const HostActionOpener& open);

}  // namespace zr417
