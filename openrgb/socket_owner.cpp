#include "openrgb/socket_owner.h"

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

namespace zr417::openrgb {

namespace {

bool ParseHex(std::string_view s, std::uint32_t& out)
{
    if (s.empty() || s.size() > 8) return false;
    out = 0;
    for (char ch : s) {
        int v = ch >= '0' && ch <= '9'   ? ch - '0'
                : ch >= 'A' && ch <= 'F' ? ch - 'A' + 10
                : ch >= 'a' && ch <= 'f' ? ch - 'a' + 10
                                         : -1;
        if (v < 0) return false;
        out = out << 4 | static_cast<std::uint32_t>(v);
    }
    return true;
}

// "0100007F:1A4E" (IPv4) or 32 hex digits and a port (IPv6). The kernel
// prints each 32-bit word of the address as a number in its own byte order.
std::optional<TcpEndpoint> ParseEndpoint(std::string_view text, bool v6)
{
    auto colon = text.find(':');
    if (colon == std::string_view::npos) return std::nullopt;
    std::string_view address = text.substr(0, colon), port = text.substr(colon + 1);
    std::uint32_t portValue = 0;
    if (address.size() != (v6 ? 32u : 8u) || !ParseHex(port, portValue) || portValue > 0xFFFF) return std::nullopt;
    TcpEndpoint e;
    e.port = static_cast<std::uint16_t>(portValue);
    if (!v6) {
        std::uint32_t word = 0;
        if (!ParseHex(address, word)) return std::nullopt;
        e.address[10] = e.address[11] = 0xFF;
        std::memcpy(e.address.data() + 12, &word, 4);
        return e;
    }
    for (int i = 0; i < 4; ++i) {
        std::uint32_t word = 0;
        if (!ParseHex(address.substr(8 * static_cast<std::size_t>(i), 8), word)) return std::nullopt;
        std::memcpy(e.address.data() + 4 * i, &word, 4);
    }
    return e;
}

}  // namespace

TcpEndpoint TcpEndpoint::V4(std::uint32_t hostOrderAddress, std::uint16_t port)
{
    TcpEndpoint e;
    e.address[10] = e.address[11] = 0xFF;
    for (int i = 0; i < 4; ++i) e.address[12 + i] = static_cast<std::uint8_t>(hostOrderAddress >> (24 - 8 * i));
    e.port = port;
    return e;
}

std::optional<uid_t> FindSocketOwner(std::string_view table, bool v6, const TcpEndpoint& client,
                                     const TcpEndpoint& server)
{
    std::istringstream lines{std::string(table)};
    std::string line;
    std::getline(lines, line);  // the column titles
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state, queues, timer, retransmits, timeout;
        unsigned long long uid = 0, inode = 0;
        if (!(fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >> timeout >> inode))
            continue;
        auto l = ParseEndpoint(local, v6), r = ParseEndpoint(remote, v6);
        if (!l || !r || !(*l == client) || !(*r == server)) continue;
        if (inode == 0) return std::nullopt;
        return static_cast<uid_t>(uid);
    }
    return std::nullopt;
}

std::optional<uid_t> TcpClientOwner(const TcpEndpoint& client, const TcpEndpoint& server,
                                    const std::filesystem::path& procNet)
{
    for (bool v6 : {false, true}) {
        std::ifstream in(procNet / (v6 ? "tcp6" : "tcp"));
        if (!in) continue;
        std::stringstream text;
        text << in.rdbuf();
        if (auto uid = FindSocketOwner(text.str(), v6, client, server)) return uid;
    }
    return std::nullopt;
}

}  // namespace zr417::openrgb
