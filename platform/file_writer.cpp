#include "platform/file_writer.h"

#include "platform/files.h"

#include <utility>

namespace zr417 {

FileWriter::FileWriter()
{
    thread_ = std::thread([this] { loop(); });
}

FileWriter::~FileWriter()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void FileWriter::Write(std::filesystem::path path, std::vector<std::uint8_t> bytes, Done done)
{
    {
        std::lock_guard lock(mutex_);
        queue_.push_back({std::move(path), std::move(bytes), std::move(done)});
    }
    wake_.notify_all();
}

void FileWriter::WaitUntilIdle() const
{
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return !running_ && queue_.empty(); });
}

bool FileWriter::busy() const
{
    std::lock_guard lock(mutex_);
    return running_ || !queue_.empty();
}

void FileWriter::loop()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (queue_.empty()) return;  // stopping, with nothing left to write
        Job job = std::move(queue_.front());
        queue_.pop_front();
        running_ = true;
        lock.unlock();

        const bool written = WriteFileAtomic(job.path, job.bytes);
        if (job.done) job.done(written);
        job = {};

        lock.lock();
        running_ = false;
        if (queue_.empty()) idle_.notify_all();
    }
}

}  // namespace zr417
