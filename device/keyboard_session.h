// The one owner of every conversation with the keyboard. A conversation is a
// whole sequence of the command protocol (a read-out, the download, the
// factory reset, "make the keyboard hold this image"); the session runs them
// one after the other on a thread of its own, in the order they were asked
// for, whichever thread asks, so the reports of two sequences never
// interleave on the keyboard's handles (the keyboard keeps one selected page,
// and one reply buffer, for everybody).
//
// A sequence works on a copy of the image it was given; what it read or
// changed comes back with its result, to a callback that runs on the
// session's thread once the conversation is over (the caller hands it on to
// its own thread). The session also keeps what the keyboard is known to hold,
// so that Hold sends only the sections that differ.
#pragma once

#include "config/image.h"
#include "device/device_link.h"
#include "device/protocol.h"

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <thread>

namespace zr417 {

enum class Sequence {
    StartupReadout,
    ArrivalReadout,
    DownloadAll,
    FactoryReset,
    ReadEverything,
    Hold,              // only the sections that differ from what the keyboard holds
    WriteStatusFlags,  // the flags byte alone
};

// The regions of the settings block a sequence reads or changes; the rest of
// the image it was given comes back as it went.
std::span<const ImageRegion> RegionsOf(Sequence sequence);

class KeyboardSession {
public:
    struct Result {
        Sequence sequence = Sequence::Hold;
        ConfigImage image;  // the copy the sequence worked on, as it left it
        std::array<std::uint8_t, 8> statusReply{};
        std::uint8_t fwMajor = 0, fwMinor = 0;
        int failures = 0;               // verified writes abandoned, reads that failed
        std::uint32_t sent = 0;         // Hold: the sections that went out
        int sets = 0, gets = 0;         // feature reports of the conversation
        bool keyboardAttached = false;  // the conversation had the keyboard's handles

        // Copies the regions the sequence read or changed into `target`.
        void MergeInto(ConfigImage& target) const;
    };
    // Runs on the session's thread, after the conversation; may take the
    // result. (A reference: the image is 213 KB, and every copy made on the
    // thread's stack would stay resident for the thread's life.)
    using Done = std::function<void(Result&&)>;

    explicit KeyboardSession(PauseFn pause = RealPause);
    // Lets the conversations asked for run to their end, then stops the thread.
    ~KeyboardSession();
    KeyboardSession(const KeyboardSession&) = delete;
    KeyboardSession& operator=(const KeyboardSession&) = delete;

    // Any thread: the handles later requests converse on. Another keyboard
    // than the last one (or none) makes everything it holds unknown.
    void SetHandles(const DeviceHandles& handles);

    // Any thread: queues `sequence` on a copy of `image`, with the handles as
    // they stand now. Returns at once.
    void Run(Sequence sequence, const ConfigImage& image, Done done = {});
    // "Make the keyboard hold this image."
    void Hold(const ConfigImage& image, Done done = {}) { Run(Sequence::Hold, image, std::move(done)); }

    // True while a conversation runs or waits.
    bool busy() const;
    // Blocks until no conversation runs or waits.
    void WaitUntilIdle() const;
    // Reports of the running conversation so far, and how many it takes when
    // every verification succeeds (0 when none runs).
    struct Progress {
        int done = 0, planned = 0;
    };
    Progress progress() const;

private:
    struct Job {
        Sequence sequence{};
        ConfigImage image;
        DeviceHandles handles;
        Done done;
    };
    void loop();
    void converse(Job& job, Result& result);

    PauseFn pause_;

    mutable std::mutex mutex_;  // guards everything up to the thread
    mutable std::condition_variable wake_, idle_;
    std::deque<std::unique_ptr<Job>> queue_;
    DeviceHandles handles_;
    bool running_ = false;
    bool stopping_ = false;

    std::atomic<int> reportsDone_{0};
    std::atomic<int> reportsPlanned_{0};

    // The session's thread only.
    KeyboardContents known_;
    std::weak_ptr<hid::Device> knownFor_;  // the keyboard known_ describes
    KeyboardStatus status_;

    std::thread thread_;  // last: started once everything above exists
};

}  // namespace zr417
