// Who is at the other end of a loopback TCP connection. TCP carries no
// credentials, but on this machine both ends are sockets of the same kernel:
// the client's socket is the one whose own address is our peer's and whose
// remote address is ours, and the kernel's socket tables (/proc/net/tcp and
// tcp6) name the user that owns it.
#pragma once

#include <sys/types.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>

namespace zr417::openrgb {

// An address as IPv6 bytes (IPv4 as ::ffff:a.b.c.d) and a port.
struct TcpEndpoint {
    std::array<std::uint8_t, 16> address{};
    std::uint16_t port = 0;
    static TcpEndpoint V4(std::uint32_t hostOrderAddress, std::uint16_t port);
    bool operator==(const TcpEndpoint&) const = default;
};

// The owner of the socket at `client` connected to `server`, found in the
// text of a kernel socket table (`v6`: the tcp6 layout). Sockets the kernel
// keeps only for TIME_WAIT (inode 0) belong to nobody.
std::optional<uid_t> FindSocketOwner(std::string_view table, bool v6, const TcpEndpoint& client,
                                     const TcpEndpoint& server);
// The same over procNet/tcp and procNet/tcp6.
std::optional<uid_t> TcpClientOwner(const TcpEndpoint& client, const TcpEndpoint& server,
                                    const std::filesystem::path& procNet = "/proc/net");

}  // namespace zr417::openrgb
