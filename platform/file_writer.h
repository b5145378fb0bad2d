// Atomic file writes (WriteFileAtomic) on a thread of their own, so that the
// thread asking never waits for the disk: the flush to disk alone can take a
// tenth of a second on a busy one. The writes happen one after another in
// the order they were asked for, so a file keeps the last write asked of it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace zr417 {

class FileWriter {
public:
    // Runs on the writer's thread once the write is over.
    using Done = std::function<void(bool written)>;

    FileWriter();
    // Finishes every write asked for, then stops the thread.
    ~FileWriter();
    FileWriter(const FileWriter&) = delete;
    FileWriter& operator=(const FileWriter&) = delete;

    // Any thread: queues the write and returns at once.
    void Write(std::filesystem::path path, std::vector<std::uint8_t> bytes, Done done = {});
    // Blocks until every write asked for so far is over.
    void WaitUntilIdle() const;
    // True while a write runs or waits.
    bool busy() const;

private:
    struct Job {
        std::filesystem::path path;
        std::vector<std::uint8_t> bytes;
        Done done;
    };
    void loop();

    mutable std::mutex mutex_;
    mutable std::condition_variable wake_, idle_;
    std::deque<Job> queue_;
    bool running_ = false;
    bool stopping_ = false;
    std::thread thread_;  // last: started once everything above exists
};

}  // namespace zr417
