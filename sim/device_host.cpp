#include "sim/device_host.h"

#include <sys/eventfd.h>
#include <unistd.h>

namespace zr417::sim {

EmulatedBusHost::EmulatedBusHost() : inputFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

EmulatedBusHost::~EmulatedBusHost()
{
    for (int port : bus_.ports()) bus_.unplug(port);
    if (inputFd_ >= 0) ::close(inputFd_);
}

int EmulatedBusHost::attach(std::shared_ptr<emu::EmulatedDevice> device)
{
    int port = bus_.plug(device);
    std::vector<std::string> paths;
    for (std::size_t i = 0;; ++i) {
        auto path = bus_.pathOf(port, i);
        if (path.empty()) break;
        paths.push_back(std::move(path));
    }
    // Replaces the bus's own sink; unplugging sets none.
    device->setInputSink([this, paths = std::move(paths)](std::size_t index, std::vector<std::uint8_t> report) {
        if (index >= paths.size()) return;
        {
            std::lock_guard lock(inputMutex_);
            if (input_.size() >= kMaxWaitingInput) input_.pop_front();
            input_.push_back({paths[index], std::move(report)});
        }
        std::uint64_t one = 1;
        (void)!::write(inputFd_, &one, sizeof one);
    });
    return port;
}

int EmulatedBusHost::portOf(const emu::EmulatedDevice* device) const
{
    for (int port : bus_.ports())
        if (bus_.device(port).get() == device) return port;
    return 0;
}

std::vector<EmulatedBusHost::Input> EmulatedBusHost::drainInput()
{
    std::uint64_t count;
    (void)!::read(inputFd_, &count, sizeof count);
    std::lock_guard lock(inputMutex_);
    std::vector<Input> all(std::make_move_iterator(input_.begin()), std::make_move_iterator(input_.end()));
    input_.clear();
    return all;
}

}  // namespace zr417::sim
