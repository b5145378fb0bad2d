// Every file write of this process beyond a size fails, as on a full disk,
// for the life of the object: the file size limit stands in for the disk.
#pragma once

#include <sys/resource.h>
#include <csignal>

namespace zr417::test {

class FullDisk {
public:
    explicit FullDisk(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &old_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);  // the write fails with EFBIG instead
        const rlimit limit{bytes, old_.rlim_max};
        ok_ = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FullDisk()
    {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }
    FullDisk(const FullDisk&) = delete;
    FullDisk& operator=(const FullDisk&) = delete;

    // False when the limit could not be set (the test then proves nothing).
    bool ok() const { return ok_; }

private:
    rlimit old_{};
    void (*oldHandler_)(int) = SIG_DFL;
    bool ok_ = false;
};

}  // namespace zr417::test
