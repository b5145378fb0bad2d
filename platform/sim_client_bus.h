// The client side of zr417-sim: a hid::Bus whose collections are the
// simulator's devices, and the connection zr417ctl sim uses for its control
// requests. Plain POSIX (one reader thread per connection).
#pragma once

#include "device/hid.h"
#include "platform/sim_wire.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

namespace zr417::simwire {

// One connection to the simulator. A reader thread takes every message:
// replies go to the waiting request, input reports to their device's queue,
// plug events to the event queue (eventFd() turns readable).
//
// When the simulator goes away every waiting and later request fails at once,
// open devices report Disconnected, and a removal event is queued for each
// collection that was present. With `reconnect`, the connection then tries
// again every 300 ms and, once the simulator is back, queues an arrival for
// each of its collections; devices opened before stay dead.
class SimConnection {
public:
    SimConnection(std::filesystem::path socket, bool reconnect);
    ~SimConnection();
    SimConnection(const SimConnection&) = delete;
    SimConnection& operator=(const SimConnection&) = delete;

    const std::filesystem::path& socket() const { return socket_; }
    bool connected() const;
    // Counts successful connects; a device belongs to the one it was opened in.
    std::uint64_t generation() const;
    // Why the last attempt to connect was refused (a socket or a simulator
    // of another user, a simulator that turned us away); empty when it
    // succeeded or nothing listened. A reconnecting connection also prints
    // each new reason to stderr.
    std::string refusal() const;

    // Sends `m` and waits for its reply. nullopt when not connected, when the
    // connection is lost meanwhile, when `generation` (if given) is no longer
    // current, or when no reply comes within `timeout`.
    std::optional<Message> request(Message m, std::chrono::milliseconds timeout = std::chrono::seconds(5),
                                   std::optional<std::uint64_t> generation = std::nullopt);
    // Sends without waiting for the reply (closing a handle).
    void post(Message m, std::uint64_t generation);

    // What one open handle receives.
    struct DeviceState {
        std::uint32_t handle = 0;
        std::uint64_t generation = 0;
        std::mutex mutex;
        std::condition_variable changed;
        std::deque<std::vector<std::uint8_t>> input;
        bool gone = false;
        bool interrupted = false;
    };
    void attach(const std::shared_ptr<DeviceState>& state);
    void detach(std::uint32_t handle);

    int eventFd() const { return eventFd_; }
    std::vector<hid::PlugEvent> drainEvents();

private:
    bool connectNow();  // connects and reads the simulator's collections
    void readerLoop();
    void dispatch(Message m);
    void lost();
    void pushEvent(hid::PlugEvent::Kind kind, const std::string& path);

    const std::filesystem::path socket_;
    const bool reconnect_;
    int eventFd_ = -1;
    int stopFd_ = -1;
    std::thread reader_;

    std::mutex sendMutex_;  // held while sending, and by lost() to close the socket
    mutable std::mutex mutex_;
    std::condition_variable replies_;
    int fd_ = -1;
    std::uint64_t generation_ = 0;
    std::uint32_t nextSeq_ = 0;
    std::map<std::uint32_t, std::optional<Message>> pending_;  // seq -> reply once it came
    std::map<std::uint32_t, std::weak_ptr<DeviceState>> devices_;
    std::set<std::string> present_;  // collections present, for removal events on loss
    std::string refusal_;
    std::vector<hid::PlugEvent> events_;
};

// The bus of ZR417_SIM. Never fails: a simulator that is not running yet is
// connected to when it starts (with arrival events).
std::unique_ptr<hid::Bus> ConnectSimulatorBus(const std::filesystem::path& socket);

}  // namespace zr417::simwire
