// Input reports of one collection from a hidraw file descriptor: a wait in
// poll() (no CPU while nothing arrives) that an eventfd can interrupt, and a
// filter that lets through only the collection's own report IDs (a hidraw
// node delivers every report of its interface).
#pragma once

#include "device/hid.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <vector>

namespace zr417::hidraw {

class InputReader {
public:
    // `reports`: the collection's reports (their IDs and input lengths);
    // `numbered`: whether the device prefixes reports with their ID.
    InputReader(std::vector<hid::ReportInfo> reports, bool numbered);
    ~InputReader();
    InputReader(const InputReader&) = delete;
    InputReader& operator=(const InputReader&) = delete;

    // Takes ownership of an open, non-blocking descriptor.
    void attach(int fd);
    bool attached() const { return fd_ >= 0; }

    hid::ReadStatus read(std::uint8_t* data, std::size_t length, std::chrono::milliseconds timeout,
                         std::size_t* received);
    void interrupt();  // thread-safe
    bool gone() const { return gone_; }

private:
    // Length with the ID byte of an input report of ours; 0 for another's.
    std::size_t expectedLength(std::uint8_t id) const;

    std::vector<hid::ReportInfo> reports_;
    bool numbered_;
    int fd_ = -1;
    int wakeFd_ = -1;
    std::atomic<bool> gone_{false};
};

}  // namespace zr417::hidraw
