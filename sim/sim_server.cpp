#include "sim/sim_server.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <exception>
#include <map>

namespace zr417::sim {

using simwire::Message;
using simwire::Op;
using simwire::Status;
using namespace std::chrono_literals;

namespace {

bool SamePath(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

struct SimServer::Handle {
    std::uint32_t id = 0;
    std::string path;
    std::unique_ptr<hid::Device> device;
    bool input = false;  // the collection sends input reports
};

struct SimServer::Client {
    int fd = -1;
    bool dead = false;
    std::map<std::uint32_t, std::unique_ptr<Handle>> handles;
    std::uint32_t nextHandle = 1;
    std::deque<std::vector<std::uint8_t>> queue;  // encoded, not yet taken by the socket
    std::size_t queued = 0;                       // bytes plus overhead in `queue`

    void send(const Message& m)
    {
        if (dead) return;
        auto bytes = simwire::Encode(m);
        if (bytes.size() > simwire::kMaxMessage) {
            dead = true;  // the socket would refuse it whole
            return;
        }
        // Order is kept: nothing goes straight out while older messages wait.
        if (queue.empty()) {
            switch (trySend(bytes)) {
                case Sent::Done:
                    return;
                case Sent::Failed:
                    dead = true;
                    return;
                case Sent::Later:
                    break;
            }
        }
        queued += bytes.size() + kQueueOverhead;
        if (queued > kMaxQueuedBytes) {
            dead = true;  // it stopped reading; nobody else waits for it
            return;
        }
        queue.push_back(std::move(bytes));
    }

    // What the socket takes now; false when the client is gone.
    bool flush()
    {
        while (!queue.empty()) {
            switch (trySend(queue.front())) {
                case Sent::Done:
                    queued -= queue.front().size() + kQueueOverhead;
                    queue.pop_front();
                    break;
                case Sent::Failed:
                    return false;
                case Sent::Later:
                    return true;
            }
        }
        return true;
    }

    enum class Sent { Done, Later, Failed };
    Sent trySend(const std::vector<std::uint8_t>& bytes) const
    {
        for (;;) {
            ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n == static_cast<ssize_t>(bytes.size())) return Sent::Done;
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return Sent::Later;
            return Sent::Failed;
        }
    }
};

SimServer::SimServer(EmulatedBusHost& host, Simulator& simulator)
    : host_(host), bus_(host.bus()), simulator_(simulator), buffer_(simwire::kMaxMessage)
{
    stopFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

SimServer::~SimServer()
{
    for (auto& c : clients_) dropClient(*c);
    clients_.clear();
    if (listenFd_ >= 0) ::close(listenFd_);
    ::close(stopFd_);
}

bool SimServer::listen(const std::filesystem::path& socket, std::string* error)
{
    auto fail = [&](const std::string& why) {
        if (error) *error = why;
        return false;
    };
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::string p = socket.string();
    if (p.empty() || p.size() >= sizeof addr.sun_path) return fail("socket path too long: " + p);
    std::memcpy(addr.sun_path, p.c_str(), p.size() + 1);

    struct stat st {};
    if (::lstat(p.c_str(), &st) == 0) {
        if (!S_ISSOCK(st.st_mode)) return fail(p + " exists and is not a socket; not replacing it");
        if (!simwire::TrustedPeer(st.st_uid))
            return fail(p + " belongs to " + DescribeUser(st.st_uid) +
                        ", not to you: not replacing it (remove it, or choose another --socket)");
        int probe = simwire::ConnectSocket(socket);
        if (probe >= 0) {
            auto peer = PeerUid(probe);
            ::close(probe);
            if (peer && !simwire::TrustedPeer(*peer))
                return fail(p + " is served by a program of " + DescribeUser(*peer) + ": not replacing it");
            return fail("a simulator already serves " + p);
        }
        std::error_code ec;
        std::filesystem::remove(socket, ec);  // left behind by a simulator that died
    }
    // Only this user may enter a folder made for the socket.
    mode_t old = ::umask(0077);
    std::error_code ec;
    std::filesystem::create_directories(socket.parent_path(), ec);

    int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    int rc = fd < 0 ? -1 : ::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
    ::umask(old);
    // Under sudo the user who ran it must be able to connect.
    const UserIds serving = simwire::ServingUser();
    if (rc == 0 && serving.uid != ::geteuid()) rc = ::lchown(p.c_str(), serving.uid, serving.gid);
    if (rc != 0 || ::listen(fd, 16) != 0) {
        std::string why = std::strerror(errno);
        if (fd >= 0) ::close(fd);
        return fail("cannot listen on " + p + ": " + why);
    }
    listenFd_ = fd;
    socket_ = socket;
    return true;
}

void SimServer::stop()
{
    std::uint64_t one = 1;
    (void)!::write(stopFd_, &one, sizeof one);
}

void SimServer::run()
{
    auto lastFlush = std::chrono::steady_clock::now();
    for (;;) {
        std::vector<pollfd> fds{
            {stopFd_, POLLIN, 0}, {listenFd_, POLLIN, 0}, {bus_.eventFd(), POLLIN, 0}, {host_.inputFd(), POLLIN, 0}};
        constexpr std::size_t kFirstClient = 4;
        for (auto& c : clients_)
            fds.push_back({c->fd, static_cast<short>(c->queue.empty() ? POLLIN : POLLIN | POLLOUT), 0});
        int n = ::poll(fds.data(), fds.size(), 1000);
        if (n < 0 && errno != EINTR) break;
        if (n > 0 && fds[0].revents) break;

        // Reports sent before an unplug reach the clients before its removal.
        if (n > 0 && fds[3].revents) forwardInput();
        if (n > 0 && fds[2].revents) forwardPlugEvents();
        if (n > 0)
            for (std::size_t i = 0; i < clients_.size(); ++i) {
                Client& client = *clients_[i];
                const short events = fds[kFirstClient + i].revents;
                if ((events & POLLOUT) && !client.flush()) client.dead = true;
                if ((events & ~POLLOUT) && !client.dead && !serve(client)) client.dead = true;
            }
        if (n > 0 && fds[1].revents) accept();

        for (auto it = clients_.begin(); it != clients_.end();) {
            if ((*it)->dead) {
                dropClient(**it);
                it = clients_.erase(it);
            } else {
                ++it;
            }
        }
        clientCount_ = static_cast<int>(clients_.size());

        auto now = std::chrono::steady_clock::now();
        if (now - lastFlush >= 1s) {
            simulator_.flush();
            lastFlush = now;
        }
    }
    for (auto& c : clients_) dropClient(*c);
    clients_.clear();
    clientCount_ = 0;
    if (listenFd_ >= 0) {
        ::close(listenFd_);
        listenFd_ = -1;
        std::error_code ec;
        std::filesystem::remove(socket_, ec);
    }
    simulator_.flush();
}

void SimServer::accept()
{
    int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) return;
    auto peer = PeerUid(fd);
    if (!peer || !simwire::TrustedPeer(*peer)) {
        const std::string who = peer ? DescribeUser(*peer) : std::string("an unknown user");
        if (refusedUsers_.insert(peer.value_or(static_cast<uid_t>(-1))).second)
            std::fprintf(stderr, "zr417-sim: refused a connection from a program of %s\n", who.c_str());
        refuse(fd, "the simulator at " + socket_.string() + " serves " + DescribeUser(simwire::ServingUser().uid) +
                       " only, not " + who);
        return;
    }
    if (clients_.size() >= kMaxClients) {
        refuse(fd, "the simulator at " + socket_.string() + " already serves " + std::to_string(kMaxClients) +
                       " programs; close one and try again");
        return;
    }
    auto client = std::make_unique<Client>();
    client->fd = fd;
    clients_.push_back(std::move(client));
    clientCount_ = static_cast<int>(clients_.size());
}

void SimServer::refuse(int fd, const std::string& why)
{
    Message m;
    m.op = Op::Reply;
    m.status = Status::Refused;
    m.text = why;
    auto bytes = simwire::Encode(m);
    (void)!::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    ::close(fd);
}

bool SimServer::serve(Client& client)
{
    ssize_t n = ::recv(client.fd, buffer_.data(), buffer_.size(), MSG_DONTWAIT);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) return true;
    if (n <= 0) return false;
    auto request = simwire::Decode(buffer_.data(), static_cast<std::size_t>(n));
    if (!request) {
        Message bad;
        bad.status = Status::BadRequest;
        client.send(bad);
        return true;
    }
    Message reply;
    try {
        reply = answer(client, *request);
    } catch (const std::exception& e) {
        // Out of memory or the like: this request fails, the keyboards and
        // the other clients carry on.
        reply = Message{};
        reply.status = Status::Failed;
        reply.text = std::string("zr417-sim could not do that: ") + e.what();
    }
    reply.op = Op::Reply;
    reply.seq = request->seq;
    client.send(reply);
    return !client.dead;
}

Message SimServer::answer(Client& client, const Message& request)
{
    Message reply;
    auto result = [&](const Simulator::Result& r) {
        reply.status = r.ok ? Status::Ok : Status::Failed;
        reply.text = r.message;
        reply.handle = r.id;
    };
    switch (request.op) {
        case Op::Enumerate:
            reply.collections = bus_.enumerate();
            break;
        case Op::Open:
            openHandle(client, request, reply);
            break;
        case Op::Close:
            closeHandle(client, request.handle);
            break;
        case Op::SetFeature:
        case Op::GetFeature: {
            auto it = client.handles.find(request.handle);
            if (it == client.handles.end() || request.bytes.empty()) {
                reply.status = Status::BadRequest;
                break;
            }
            hid::Device& device = *it->second->device;
            bool ok;
            if (request.op == Op::SetFeature) {
                ok = device.setFeature(request.bytes.data(), request.bytes.size());
            } else {
                reply.bytes = request.bytes;
                ok = device.getFeature(reply.bytes.data(), reply.bytes.size());
                if (!ok) reply.bytes.clear();
            }
            reply.status = ok ? Status::Ok : device.connected() ? Status::Failed : Status::Disconnected;
            break;
        }
        case Op::Plug:
            result(simulator_.plug(request.text));
            break;
        case Op::Unplug:
            result(
                simulator_.unplug(request.handle, static_cast<int>(std::min<std::uint32_t>(request.value, 1 << 30))));
            break;
        case Op::Replug:
            result(simulator_.replug(request.handle));
            break;
        case Op::Press:
            result(simulator_.press(request.handle, static_cast<int>(std::min<std::uint32_t>(request.value, 1 << 30))));
            break;
        case Op::SetVersion:
            result(simulator_.setVersion(request.handle, static_cast<std::uint8_t>(request.value >> 8),
                                         static_cast<std::uint8_t>(request.value)));
            break;
        case Op::List:
            reply.units = simulator_.list();
            break;
        default:
            reply.status = Status::BadRequest;
            break;
    }
    return reply;
}

void SimServer::openHandle(Client& client, const Message& request, Message& reply)
{
    if (client.handles.size() >= kMaxHandlesPerClient) {
        reply.status = Status::Failed;
        reply.text = "too many open handles (" + std::to_string(kMaxHandlesPerClient) + ") on one connection";
        return;
    }
    auto device = bus_.open(request.text);
    if (!device) {
        reply.status = Status::Failed;
        return;
    }
    auto handle = std::make_unique<Handle>();
    for (const auto& c : bus_.enumerate())
        if (SamePath(c.path, request.text)) handle->input = c.inputReportLength() > 0;
    handle->id = client.nextHandle++;
    handle->path = request.text;
    handle->device = std::move(device);
    reply.handle = handle->id;
    client.handles[handle->id] = std::move(handle);
}

void SimServer::closeHandle(Client& client, std::uint32_t id)
{
    client.handles.erase(id);
}

void SimServer::dropClient(Client& client)
{
    client.handles.clear();
    if (client.fd >= 0) ::close(client.fd);
    client.fd = -1;
}

void SimServer::forwardInput()
{
    for (auto& input : host_.drainInput()) {
        Message m;
        m.op = Op::Input;
        m.bytes = std::move(input.report);
        for (auto& c : clients_)
            for (auto& [id, h] : c->handles) {
                if (!h->input || !SamePath(h->path, input.path)) continue;
                m.handle = id;
                c->send(m);
            }
    }
}

void SimServer::forwardPlugEvents()
{
    for (const auto& event : bus_.drainEvents()) {
        Message m;
        m.op = Op::PlugEvent;
        m.value = event.kind == hid::PlugEvent::Kind::Arrival ? 0 : 1;
        m.text = event.path;
        for (auto& c : clients_) {
            c->send(m);
            if (event.kind != hid::PlugEvent::Kind::Removal) continue;
            // Handles of the removed collection fail from now on.
            for (auto& [id, h] : c->handles) {
                if (!SamePath(h->path, event.path)) continue;
                Message gone;
                gone.op = Op::Gone;
                gone.handle = id;
                c->send(gone);
            }
        }
    }
}

}  // namespace zr417::sim
