#include "platform/hidraw_input.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>

namespace zr417::hidraw {

InputReader::InputReader(std::vector<hid::ReportInfo> reports, bool numbered)
    : reports_(std::move(reports)), numbered_(numbered), wakeFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
}

InputReader::~InputReader()
{
    if (fd_ >= 0) ::close(fd_);
    if (wakeFd_ >= 0) ::close(wakeFd_);
}

void InputReader::attach(int fd)
{
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
}

void InputReader::interrupt()
{
    std::uint64_t one = 1;
    (void)!::write(wakeFd_, &one, sizeof one);
}

std::size_t InputReader::expectedLength(std::uint8_t id) const
{
    for (const auto& r : reports_)
        if (r.id == id && r.inputLength > 0) return r.inputLength;
    return 0;
}

hid::ReadStatus InputReader::read(std::uint8_t* data, std::size_t length, std::chrono::milliseconds timeout,
                                  std::size_t* received)
{
    using Clock = std::chrono::steady_clock;
    if (gone_) return hid::ReadStatus::Disconnected;
    if (fd_ < 0 || wakeFd_ < 0) return hid::ReadStatus::Error;
    auto deadline = Clock::now() + timeout;
    std::uint8_t buffer[4097];
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        pollfd fds[2] = {{fd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        int n = ::poll(fds, 2, static_cast<int>(std::max<long long>(left, 0)));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return hid::ReadStatus::Error;
        if (fds[1].revents & POLLIN) {
            std::uint64_t count;
            (void)!::read(wakeFd_, &count, sizeof count);
            return hid::ReadStatus::Interrupted;
        }
        if (fds[0].revents & POLLIN) {
            // Reading one whole report (one read() is one report on hidraw).
            ssize_t got = ::read(fd_, buffer + 1, sizeof buffer - 1);
            if (got < 0 && (errno == EAGAIN || errno == EINTR)) continue;
            if (got < 0 && (errno == ENODEV || errno == EIO || errno == ESHUTDOWN)) {
                gone_ = true;
                return hid::ReadStatus::Disconnected;
            }
            if (got < 0) return hid::ReadStatus::Error;
            if (got == 0) {  // end of file: the node is gone
                gone_ = true;
                return hid::ReadStatus::Disconnected;
            }
            // Windows hands reports over with their ID in byte 0, 0 when unnumbered.
            const std::uint8_t* report = buffer + 1;
            std::size_t size = static_cast<std::size_t>(got);
            if (!numbered_) {
                buffer[0] = 0;
                report = buffer;
                ++size;
            }
            // Another collection's report, or a short or oversized one: not ours to deliver.
            if (size != expectedLength(report[0])) continue;
            std::size_t n = std::min(length, size);
            std::copy_n(report, n, data);
            if (received) *received = n;
            return hid::ReadStatus::Ok;
        }
        if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) {
            gone_ = true;
            return hid::ReadStatus::Disconnected;
        }
        if (Clock::now() >= deadline) return hid::ReadStatus::Timeout;
    }
}

}  // namespace zr417::hidraw
