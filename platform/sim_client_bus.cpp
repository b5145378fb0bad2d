#include "platform/sim_client_bus.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstdio>

#include <utility>

namespace zr417::simwire {

using namespace std::chrono_literals;

namespace {

constexpr std::size_t kMaxQueuedInput = 256;  // like a hidraw buffer: the oldest go first
constexpr auto kRetryPeriod = 300ms;

void Signal(int fd)
{
    std::uint64_t one = 1;
    (void)!::write(fd, &one, sizeof one);
}

}  // namespace

SimConnection::SimConnection(std::filesystem::path socket, bool reconnect)
    : socket_(std::move(socket)), reconnect_(reconnect)
{
    eventFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    stopFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    connectNow();  // the simulator's devices were there before we started: no events
    std::lock_guard lock(mutex_);
    events_.clear();
    if (fd_ >= 0 || reconnect_) reader_ = std::thread([this] { readerLoop(); });
}

SimConnection::~SimConnection()
{
    Signal(stopFd_);
    if (reader_.joinable()) reader_.join();
    {
        std::lock_guard send(sendMutex_);
        std::lock_guard lock(mutex_);
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    ::close(stopFd_);
    ::close(eventFd_);
}

bool SimConnection::connected() const
{
    std::lock_guard lock(mutex_);
    return fd_ >= 0;
}

std::uint64_t SimConnection::generation() const
{
    std::lock_guard lock(mutex_);
    return generation_;
}

bool SimConnection::connectNow()
{
    std::string refusal;
    std::optional<Message> reply;
    int fd = ConnectToSimulator(socket_, &refusal);
    if (fd >= 0) {
        // A simulator that stops reading must not block us for good.
        timeval tv{2, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);

        // Ask for the present collections before anyone else may talk.
        Message ask;
        ask.op = Op::Enumerate;
        ask.seq = 0xFFFFFFFF;
        // A simulator that turns us away may close before our request
        // arrives: its reason still waits to be read.
        SendMessage(fd, ask);
        {
            std::vector<std::uint8_t> buffer(kMaxMessage);
            for (int i = 0; i < 64 && !reply && refusal.empty(); ++i) {  // plug events may come first
                ssize_t n = ::recv(fd, buffer.data(), buffer.size(), 0);
                // A refusing simulator that closed with our request unread
                // reports a reset first; its reason is still queued behind.
                if (n < 0 && (errno == EINTR || errno == ECONNRESET)) continue;
                if (n <= 0) break;
                auto m = Decode(buffer.data(), static_cast<std::size_t>(n));
                if (m && m->op == Op::Reply && m->status == Status::Refused)
                    refusal = m->text.empty() ? "the simulator at " + socket_.string() + " refused us" : m->text;
                else if (m && m->op == Op::Reply && m->seq == ask.seq)
                    reply = std::move(m);
            }
        }
        if (!reply) {
            ::close(fd);
            fd = -1;
        }
    }
    if (fd < 0) {
        std::lock_guard lock(mutex_);
        // Retrying in the background: say it once, or nobody would know why
        // the simulator's keyboards never show.
        if (reconnect_ && !refusal.empty() && refusal != refusal_)
            std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, refusal.c_str());
        refusal_ = std::move(refusal);
        return false;
    }
    timeval none{0, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &none, sizeof none);
    std::lock_guard lock(mutex_);
    refusal_.clear();
    fd_ = fd;
    ++generation_;
    for (const auto& c : reply->collections)
        if (present_.insert(c.path).second) events_.push_back({hid::PlugEvent::Kind::Arrival, c.path});
    if (!events_.empty()) Signal(eventFd_);
    return true;
}

std::string SimConnection::refusal() const
{
    std::lock_guard lock(mutex_);
    return refusal_;
}

void SimConnection::readerLoop()
{
    std::vector<std::uint8_t> buffer(kMaxMessage);
    for (;;) {
        int fd;
        {
            std::lock_guard lock(mutex_);
            fd = fd_;
        }
        if (fd < 0) {
            if (!reconnect_) return;
            pollfd p{stopFd_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(kRetryPeriod.count())) > 0) return;
            connectNow();
            continue;
        }
        pollfd p[2] = {{fd, POLLIN, 0}, {stopFd_, POLLIN, 0}};
        if (::poll(p, 2, -1) < 0) {
            if (errno == EINTR) continue;
            lost();
            continue;
        }
        if (p[1].revents) return;
        if (!p[0].revents) continue;
        ssize_t n = ::recv(fd, buffer.data(), buffer.size(), MSG_DONTWAIT);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) {
            lost();
            continue;
        }
        auto m = Decode(buffer.data(), static_cast<std::size_t>(n));
        if (!m) {
            // A simulator that speaks another layout: better gone than misread.
            lost();
            continue;
        }
        dispatch(std::move(*m));
    }
}

void SimConnection::dispatch(Message m)
{
    switch (m.op) {
        case Op::Reply: {
            std::lock_guard lock(mutex_);
            auto it = pending_.find(m.seq);
            if (it != pending_.end()) {
                it->second = std::move(m);
                replies_.notify_all();
            }
            return;
        }
        case Op::PlugEvent: {
            auto kind = m.value == 0 ? hid::PlugEvent::Kind::Arrival : hid::PlugEvent::Kind::Removal;
            {
                std::lock_guard lock(mutex_);
                if (kind == hid::PlugEvent::Kind::Arrival)
                    present_.insert(m.text);
                else
                    present_.erase(m.text);
            }
            pushEvent(kind, m.text);
            return;
        }
        case Op::Input:
        case Op::Gone: {
            std::shared_ptr<DeviceState> state;
            {
                std::lock_guard lock(mutex_);
                auto it = devices_.find(m.handle);
                if (it != devices_.end()) state = it->second.lock();
            }
            if (!state) return;
            std::lock_guard lock(state->mutex);
            if (m.op == Op::Gone) {
                state->gone = true;
            } else {
                if (state->input.size() >= kMaxQueuedInput) state->input.pop_front();
                state->input.push_back(std::move(m.bytes));
            }
            state->changed.notify_all();
            return;
        }
        default:
            return;
    }
}

void SimConnection::lost()
{
    std::vector<std::shared_ptr<DeviceState>> dead;
    std::set<std::string> removed;
    {
        std::lock_guard send(sendMutex_);
        std::lock_guard lock(mutex_);
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
        for (auto& [seq, reply] : pending_) {
            if (reply) continue;
            reply = Message{};
            reply->seq = seq;
            reply->status = Status::Disconnected;
        }
        replies_.notify_all();
        for (auto& [handle, weak] : devices_)
            if (auto s = weak.lock()) dead.push_back(std::move(s));
        devices_.clear();
        removed.swap(present_);
    }
    for (auto& s : dead) {
        std::lock_guard lock(s->mutex);
        s->gone = true;
        s->changed.notify_all();
    }
    for (const auto& path : removed) pushEvent(hid::PlugEvent::Kind::Removal, path);
}

std::optional<Message> SimConnection::request(Message m, std::chrono::milliseconds timeout,
                                              std::optional<std::uint64_t> generation)
{
    std::uint32_t seq;
    {
        std::lock_guard send(sendMutex_);
        int fd;
        {
            std::lock_guard lock(mutex_);
            if (fd_ < 0 || (generation && *generation != generation_)) return std::nullopt;
            seq = ++nextSeq_;
            if (seq == 0 || seq == 0xFFFFFFFF) seq = nextSeq_ = 1;
            pending_[seq] = std::nullopt;
            fd = fd_;
        }
        m.seq = seq;
        if (!SendMessage(fd, m)) {
            std::lock_guard lock(mutex_);
            pending_.erase(seq);
            return std::nullopt;
        }
    }
    std::unique_lock lock(mutex_);
    replies_.wait_for(lock, timeout, [&] { return pending_[seq].has_value(); });
    auto reply = std::move(pending_[seq]);
    pending_.erase(seq);
    return reply;
}

void SimConnection::post(Message m, std::uint64_t generation)
{
    std::lock_guard send(sendMutex_);
    int fd;
    {
        std::lock_guard lock(mutex_);
        if (fd_ < 0 || generation != generation_) return;
        fd = fd_;
    }
    m.seq = 0;  // its reply is dropped
    SendMessage(fd, m);
}

void SimConnection::attach(const std::shared_ptr<DeviceState>& state)
{
    std::lock_guard lock(mutex_);
    if (state->generation == generation_ && fd_ >= 0)
        devices_[state->handle] = state;
    else
        state->gone = true;
}

void SimConnection::detach(std::uint32_t handle)
{
    std::lock_guard lock(mutex_);
    devices_.erase(handle);
}

void SimConnection::pushEvent(hid::PlugEvent::Kind kind, const std::string& path)
{
    {
        std::lock_guard lock(mutex_);
        events_.push_back({kind, path});
    }
    Signal(eventFd_);
}

std::vector<hid::PlugEvent> SimConnection::drainEvents()
{
    std::uint64_t count;
    (void)!::read(eventFd_, &count, sizeof count);
    std::lock_guard lock(mutex_);
    return std::exchange(events_, {});
}

namespace {

class SimDevice : public hid::Device {
public:
    SimDevice(std::shared_ptr<SimConnection> connection, std::shared_ptr<SimConnection::DeviceState> state)
        : connection_(std::move(connection)), state_(std::move(state))
    {
    }
    ~SimDevice() override
    {
        connection_->detach(state_->handle);
        Message m;
        m.op = Op::Close;
        m.handle = state_->handle;
        connection_->post(std::move(m), state_->generation);
    }

    bool setFeature(const std::uint8_t* data, std::size_t length) override
    {
        if (length == 0) return false;
        Message m;
        m.op = Op::SetFeature;
        m.bytes.assign(data, data + length);
        return transfer(std::move(m)).has_value();
    }

    bool getFeature(std::uint8_t* data, std::size_t length) override
    {
        if (length == 0) return false;
        Message m;
        m.op = Op::GetFeature;
        m.bytes.assign(data, data + length);
        auto reply = transfer(std::move(m));
        if (!reply || reply->bytes.size() != length) return false;
        std::copy(reply->bytes.begin(), reply->bytes.end(), data);
        return true;
    }

    hid::ReadStatus readInput(std::uint8_t* data, std::size_t length, std::chrono::milliseconds timeout,
                              std::size_t* received) override
    {
        auto& s = *state_;
        std::unique_lock lock(s.mutex);
        s.changed.wait_for(lock, timeout, [&] { return s.gone || s.interrupted || !s.input.empty(); });
        if (s.interrupted) {
            s.interrupted = false;
            return hid::ReadStatus::Interrupted;
        }
        if (!s.input.empty()) {
            auto report = std::move(s.input.front());
            s.input.pop_front();
            std::size_t n = std::min(length, report.size());
            std::copy_n(report.begin(), n, data);
            if (received) *received = n;
            return hid::ReadStatus::Ok;
        }
        return s.gone ? hid::ReadStatus::Disconnected : hid::ReadStatus::Timeout;
    }

    void interruptRead() override
    {
        std::lock_guard lock(state_->mutex);
        state_->interrupted = true;
        state_->changed.notify_all();
    }

    bool connected() const override
    {
        std::lock_guard lock(state_->mutex);
        return !state_->gone;
    }

private:
    // A transfer that succeeded gives its reply; a failed one nothing. A
    // device found gone stays gone.
    std::optional<Message> transfer(Message m)
    {
        {
            std::lock_guard lock(state_->mutex);
            if (state_->gone) return std::nullopt;
        }
        m.handle = state_->handle;
        auto reply = connection_->request(std::move(m), std::chrono::seconds(5), state_->generation);
        if (!reply || reply->status == Status::Disconnected) {
            if (!reply && connection_->connected() && connection_->generation() == state_->generation)
                return std::nullopt;  // a slow answer is a failed transfer, not an unplug
            std::lock_guard lock(state_->mutex);
            state_->gone = true;
            state_->changed.notify_all();
            return std::nullopt;
        }
        if (reply->status != Status::Ok) return std::nullopt;
        return reply;
    }

    std::shared_ptr<SimConnection> connection_;
    std::shared_ptr<SimConnection::DeviceState> state_;
};

class SimBus : public hid::Bus {
public:
    explicit SimBus(const std::filesystem::path& socket)
        : connection_(std::make_shared<SimConnection>(socket, /*reconnect=*/true))
    {
    }

    std::vector<hid::CollectionInfo> enumerate() override
    {
        Message m;
        m.op = Op::Enumerate;
        auto reply = connection_->request(std::move(m));
        if (!reply || reply->status != Status::Ok) return {};
        return std::move(reply->collections);
    }

    std::unique_ptr<hid::Device> open(const std::string& path) override
    {
        std::uint64_t generation = connection_->generation();
        Message m;
        m.op = Op::Open;
        m.text = path;
        auto reply = connection_->request(std::move(m), std::chrono::seconds(5), generation);
        if (!reply || reply->status != Status::Ok) return nullptr;
        auto state = std::make_shared<SimConnection::DeviceState>();
        state->handle = reply->handle;
        state->generation = generation;
        connection_->attach(state);
        return std::make_unique<SimDevice>(connection_, std::move(state));
    }

    int eventFd() const override { return connection_->eventFd(); }
    std::vector<hid::PlugEvent> drainEvents() override { return connection_->drainEvents(); }

private:
    std::shared_ptr<SimConnection> connection_;
};

}  // namespace

std::unique_ptr<hid::Bus> ConnectSimulatorBus(const std::filesystem::path& socket)
{
    return std::make_unique<SimBus>(socket);
}

}  // namespace zr417::simwire
