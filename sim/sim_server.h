// zr417-sim's socket: serves a hid::Bus (the simulator's emulated devices) and
// the simulator's control requests to any number of clients at once. Every
// request is answered in arrival order on the serving thread; each open input
// collection has a small thread that forwards its reports as they come.
#pragma once

#include "device/hid.h"
#include "platform/sim_wire.h"
#include "sim/simulator.h"

#include <atomic>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace zr417::sim {

class SimServer {
public:
    SimServer(hid::Bus& bus, Simulator& simulator);
    ~SimServer();
    SimServer(const SimServer&) = delete;
    SimServer& operator=(const SimServer&) = delete;

    // Listens on `socket`, replacing a stale socket file; fails when another
    // simulator answers there or the path cannot be bound.
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
    simwire::Message answer(Client& client, const simwire::Message& request);
    void openHandle(Client& client, const simwire::Message& request, simwire::Message& reply);
    void closeHandle(Client& client, std::uint32_t id);
    void dropClient(Client& client);
    void forwardPlugEvents();

    hid::Bus& bus_;
    Simulator& simulator_;
    std::filesystem::path socket_;
    int listenFd_ = -1;
    int stopFd_ = -1;
    std::vector<std::unique_ptr<Client>> clients_;
    std::atomic<int> clientCount_{0};
};

}  // namespace zr417::sim
