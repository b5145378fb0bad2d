// zr417-sim's socket: serves the simulator's emulated devices and its control
// requests to the programs of its user (and root). One thread does it all:
// every request is answered in arrival order, and input reports are passed
// on as the host queues them. What one client may hold is bounded, so a
// program that opens without end gets errors while the others are served.
// Sockets never block: what a client has not read yet waits in its own
// queue, so a slow reader delays nobody else, and a client whose queue
// overflows is dropped.
#pragma once

#include "device/hid.h"
#include "platform/sim_wire.h"
#include "sim/device_host.h"
#include "sim/simulator.h"

#include <sys/types.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace zr417::sim {

class SimServer {
public:
    static constexpr std::size_t kMaxClients = 64;
    static constexpr std::size_t kMaxHandlesPerClient = 256;
    // Unread messages one client may have waiting beyond what its socket
    // holds, counted in bytes plus kQueueOverhead each.
    static constexpr std::size_t kMaxQueuedBytes = 1024 * 1024;
    static constexpr std::size_t kQueueOverhead = 64;

    SimServer(EmulatedBusHost& host, Simulator& simulator);
    ~SimServer();
    SimServer(const SimServer&) = delete;
    SimServer& operator=(const SimServer&) = delete;

    // Listens on `socket`, replacing a stale socket file of a trusted user;
    // fails when another simulator answers there, when the file belongs to
    // another user, or when the path cannot be bound. Under sudo the socket
    // is given to the user who ran sudo.
    bool listen(const std::filesystem::path& socket, std::string* error);
    // Serves until stop(); removes the socket file on the way out.
    void run();
    // From any thread or a signal handler.
    void stop();

    int clientCount() const { return clientCount_.load(); }

private:
    struct Handle;
    struct Client;
    void accept();
    bool serve(Client& client);  // false: drop the client
    void flushQueue(Client& client);
    void refuse(int fd, const std::string& why);
    simwire::Message answer(Client& client, const simwire::Message& request);
    void openHandle(Client& client, const simwire::Message& request, simwire::Message& reply);
    void closeHandle(Client& client, std::uint32_t id);
    void dropClient(Client& client);
    void forwardPlugEvents();
    void forwardInput();

    EmulatedBusHost& host_;
    hid::Bus& bus_;
    Simulator& simulator_;
    std::filesystem::path socket_;
    int listenFd_ = -1;
    int stopFd_ = -1;
    std::vector<std::unique_ptr<Client>> clients_;
    std::atomic<int> clientCount_{0};
    std::vector<std::uint8_t> buffer_;  // one request at a time
    std::set<uid_t> refusedUsers_;      // told on stderr once each
};

}  // namespace zr417::sim
