// The one owner of every conversation with the keyboard. A conversation is a
// whole sequence of the command protocol (the start-up or arrival read-out,
// the download, the factory reset); the session runs each to its end before
// the next one begins, whichever thread asks, so the reports of two
// sequences never interleave on the keyboard's handles (the keyboard keeps
// one selected page, and one reply buffer, for everybody).
//
// The configuration image belongs to the owner's thread (the window's). A
// sequence asked for there works on it directly. The start-up read-out runs
// on a worker thread of its own, on a copy; what it read reaches the image on
// the owner's thread, before any later sequence runs and at the latest when
// the owner takes it (TakeStartupReadout).
#pragma once

#include "config/image.h"
#include "device/device_link.h"
#include "device/protocol.h"

#include <array>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace zr417 {

class KeyboardSession {
public:
    KeyboardSession(DeviceLink& link, ConfigImage& image, PauseFn pause = RealPause);
    ~KeyboardSession();  // waits for the start-up worker
    KeyboardSession(const KeyboardSession&) = delete;
    KeyboardSession& operator=(const KeyboardSession&) = delete;

    // Owner's thread. Each waits until no conversation runs, brings in a
    // finished start-up read-out, then runs its sequence on the link's
    // handles as they stand now.
    void DownloadAll();
    void ArrivalReadout();
    void FactoryReset();

    // Starts the start-up read-out on a worker thread, once per session, on
    // a snapshot of the link's handles and a copy of the image. `finished`
    // runs on the worker once the conversation is over (the refresh callback;
    // it may wait for the owner's thread: nothing is held meanwhile).
    bool StartStartupReadout(std::function<void()> finished);
    bool startupReadoutStarted() const { return workerStarted_; }

    // True while a conversation runs.
    bool busy() const;
    // Blocks until no conversation runs.
    void WaitUntilIdle() const;
    // Owner's thread: once the start-up read-out has ended, puts what it read
    // into the image (if no sequence did so already) and returns true, once;
    // false before it ended and ever after. The caller refreshes.
    bool TakeStartupReadout();

    // The last status reply and the firmware version it carried (owner's thread).
    const std::array<std::uint8_t, 8>& g_abStatusReply() const { return status_.reply; }
    std::uint8_t g_nFwMajor() const { return status_.major; }
    std::uint8_t g_nFwMinor() const { return status_.minor; }
    // Failures of the last sequence run on the owner's thread.
    int failures() const { return failures_; }

private:
    struct Status {
        std::array<std::uint8_t, 8> reply{};
        std::uint8_t major = 0, minor = 0;
    };
    // Marks the session busy once no conversation runs.
    void beginConversation() const;
    void endConversation() const;
    // A conversation on the owner's thread over the image.
    template <typename Sequence>
    void converse(Sequence sequence);
    // Copies a finished start-up read-out into the image (owner's thread).
    void bringInStartupReadout();

    DeviceLink& link_;
    ConfigImage& image_;
    PauseFn pause_;
    Status status_;
    int failures_ = 0;

    mutable std::mutex mutex_;  // guards busy_, readoutEnded_ and workerStatus_
    mutable std::condition_variable idle_;
    mutable bool busy_ = false;
    bool readoutEnded_ = false;
    Status workerStatus_;

    // Owner's thread only.
    bool workerStarted_ = false;
    bool readoutMerged_ = false;
    bool readoutTaken_ = false;
    std::unique_ptr<ConfigImage> workerImage_;
    std::thread worker_;
};

}  // namespace zr417
