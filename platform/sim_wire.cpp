#include "platform/sim_wire.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace zr417::simwire {
namespace {

class Writer {
public:
    void u8(std::uint8_t v) { out_.push_back(v); }
    void u16(std::uint16_t v)
    {
        u8(static_cast<std::uint8_t>(v));
        u8(static_cast<std::uint8_t>(v >> 8));
    }
    void u32(std::uint32_t v)
    {
        u16(static_cast<std::uint16_t>(v));
        u16(static_cast<std::uint16_t>(v >> 16));
    }
    void text(std::string_view s)
    {
        u16(static_cast<std::uint16_t>(std::min<std::size_t>(s.size(), 0xFFFF)));
        out_.insert(out_.end(), s.begin(), s.begin() + std::min<std::size_t>(s.size(), 0xFFFF));
    }
    void bytes(const std::vector<std::uint8_t>& b)
    {
        u32(static_cast<std::uint32_t>(b.size()));
        out_.insert(out_.end(), b.begin(), b.end());
    }
    std::vector<std::uint8_t> take() { return std::move(out_); }

private:
    std::vector<std::uint8_t> out_;
};

// Every read checks the remaining length; a short message sets ok() false
// and yields zeros from then on.
class Reader {
public:
    Reader(const std::uint8_t* p, std::size_t n) : p_(p), left_(n) {}
    bool ok() const { return ok_; }
    bool atEnd() const { return left_ == 0; }
    std::uint8_t u8()
    {
        if (!need(1)) return 0;
        --left_;
        return *p_++;
    }
    std::uint16_t u16()
    {
        std::uint16_t lo = u8();
        return static_cast<std::uint16_t>(lo | (u8() << 8));
    }
    std::uint32_t u32()
    {
        std::uint32_t lo = u16();
        return lo | (static_cast<std::uint32_t>(u16()) << 16);
    }
    std::string text()
    {
        std::size_t n = u16();
        if (!need(n)) return {};
        std::string s(reinterpret_cast<const char*>(p_), n);
        p_ += n;
        left_ -= n;
        return s;
    }
    std::vector<std::uint8_t> bytes()
    {
        std::size_t n = u32();
        if (!need(n)) return {};
        std::vector<std::uint8_t> b(p_, p_ + n);
        p_ += n;
        left_ -= n;
        return b;
    }

private:
    bool need(std::size_t n)
    {
        if (ok_ && left_ >= n) return true;
        ok_ = false;
        left_ = 0;
        return false;
    }
    const std::uint8_t* p_;
    std::size_t left_;
    bool ok_ = true;
};

}  // namespace

std::vector<std::uint8_t> Encode(const Message& m)
{
    Writer w;
    w.u8(static_cast<std::uint8_t>(m.op));
    w.u8(static_cast<std::uint8_t>(m.status));
    w.u32(m.seq);
    w.u32(m.handle);
    w.u32(m.value);
    w.text(m.text);
    w.bytes(m.bytes);
    w.u16(static_cast<std::uint16_t>(m.collections.size()));
    for (const auto& c : m.collections) {
        w.text(c.path);
        w.u16(c.vendorId);
        w.u16(c.productId);
        w.u32(static_cast<std::uint32_t>(c.interfaceNumber));
        w.u32(static_cast<std::uint32_t>(c.collectionNumber));
        w.u16(c.usagePage);
        w.u16(c.usage);
        w.u16(static_cast<std::uint16_t>(c.reports.size()));
        for (const auto& r : c.reports) {
            w.u8(r.id);
            w.u16(r.featureLength);
            w.u16(r.inputLength);
            w.u16(r.outputLength);
        }
    }
    w.u16(static_cast<std::uint16_t>(m.units.size()));
    for (const auto& u : m.units) {
        w.u32(u.id);
        w.text(u.model);
        w.u8(static_cast<std::uint8_t>((u.bootloader ? 1 : 0) | (u.plugged ? 2 : 0)));
        w.u8(u.fwMajor);
        w.u8(u.fwMinor);
        w.u16(u.vendorId);
        w.u16(u.productId);
        w.text(u.note);
    }
    return w.take();
}

std::optional<Message> Decode(const std::uint8_t* data, std::size_t size)
{
    Reader r(data, size);
    Message m;
    m.op = static_cast<Op>(r.u8());
    m.status = static_cast<Status>(r.u8());
    m.seq = r.u32();
    m.handle = r.u32();
    m.value = r.u32();
    m.text = r.text();
    m.bytes = r.bytes();
    std::size_t count = r.u16();
    for (std::size_t i = 0; i < count && r.ok(); ++i) {
        hid::CollectionInfo c;
        c.path = r.text();
        c.vendorId = r.u16();
        c.productId = r.u16();
        c.interfaceNumber = static_cast<int>(r.u32());
        c.collectionNumber = static_cast<int>(r.u32());
        c.usagePage = r.u16();
        c.usage = r.u16();
        std::size_t reports = r.u16();
        for (std::size_t k = 0; k < reports && r.ok(); ++k) {
            hid::ReportInfo info;
            info.id = r.u8();
            info.featureLength = r.u16();
            info.inputLength = r.u16();
            info.outputLength = r.u16();
            c.reports.push_back(info);
        }
        m.collections.push_back(std::move(c));
    }
    count = r.u16();
    for (std::size_t i = 0; i < count && r.ok(); ++i) {
        UnitInfo u;
        u.id = r.u32();
        u.model = r.text();
        std::uint8_t flags = r.u8();
        u.bootloader = flags & 1;
        u.plugged = flags & 2;
        u.fwMajor = r.u8();
        u.fwMinor = r.u8();
        u.vendorId = r.u16();
        u.productId = r.u16();
        u.note = r.text();
        m.units.push_back(std::move(u));
    }
    // Trailing bytes mean the two sides disagree about the layout.
    if (!r.ok() || !r.atEnd()) return std::nullopt;
    return m;
}

UserIds ServingUser()
{
    return SudoUser().value_or(UserIds{::geteuid(), ::getegid()});
}

bool TrustedPeer(uid_t uid)
{
    return uid == ::geteuid() || uid == 0 || uid == ServingUser().uid;
}

namespace {
constexpr char kSocketName[] = "zr417-sim.sock";
}

std::filesystem::path DefaultSocketPath()
{
    return *UserRuntimeFolder(ServingUser(), /*prepare=*/false, nullptr) / kSocketName;
}

std::optional<std::filesystem::path> PrepareDefaultSocketPath(std::string* error)
{
    auto folder = UserRuntimeFolder(ServingUser(), /*prepare=*/true, error);
    if (!folder) return std::nullopt;
    return *folder / kSocketName;
}

std::optional<std::filesystem::path> SocketFromSetting(const char* value)
{
    if (!value || !*value || std::strcmp(value, "0") == 0) return std::nullopt;
    if (std::strchr(value, '/')) return std::filesystem::path(value);
    return DefaultSocketPath();
}

std::optional<std::filesystem::path> SocketFromEnvironment()
{
    return SocketFromSetting(std::getenv("ZR417_SIM"));
}

bool SendMessage(int fd, const Message& m)
{
    auto bytes = Encode(m);
    if (bytes.size() > kMaxMessage) return false;
    for (;;) {
        ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n == static_cast<ssize_t>(bytes.size())) return true;
        if (n < 0 && errno == EINTR) continue;
        return false;
    }
}

int ConnectSocket(const std::filesystem::path& path)
{
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::string p = path.string();
    if (p.size() >= sizeof addr.sun_path) {
        errno = ENAMETOOLONG;
        return -1;
    }
    std::memcpy(addr.sun_path, p.c_str(), p.size() + 1);
    int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    for (;;) {
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0) return fd;
        if (errno == EINTR) continue;
        int saved = errno;
        ::close(fd);
        errno = saved;
        return -1;
    }
}

int ConnectToSimulator(const std::filesystem::path& path, std::string* refusal)
{
    // The owner of the file tells early and plainly; the listener's own
    // credentials are what counts.
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && !TrustedPeer(st.st_uid)) {
        if (refusal)
            *refusal = path.string() + " belongs to " + DescribeUser(st.st_uid) +
                       ", not to you: not talking to it (remove it, or name another socket with ZR417_SIM)";
        errno = EACCES;
        return -1;
    }
    int fd = ConnectSocket(path);
    if (fd < 0) return -1;
    auto peer = PeerUid(fd);
    if (!peer || !TrustedPeer(*peer)) {
        if (refusal)
            *refusal = path.string() + " is served by a program of " +
                       (peer ? DescribeUser(*peer) : std::string("an unknown user")) +
                       ", not one of yours: not talking to it";
        ::close(fd);
        errno = EACCES;
        return -1;
    }
    return fd;
}

}  // namespace zr417::simwire
