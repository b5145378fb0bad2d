// zr417ctl sim ...: the control requests of zr417-sim (plug, unplug, re-plug,
// press a key, set the firmware version, list). The simulator's socket is the
// one of ZR417_SIM when it names a path, else the default one.
#include "cli/cli.h"
#include "config/keys.h"
#include "platform/sim_client_bus.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <optional>

namespace zr417::cli {
namespace {

using simwire::Message;
using simwire::Op;

std::optional<std::uint32_t> ParseNumber(const std::string& s, std::uint32_t max)
{
    if (s.empty() || s.size() > 9 || !std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    auto v = static_cast<std::uint32_t>(std::strtoul(s.c_str(), nullptr, 10));
    if (v > max) return std::nullopt;
    return v;
}

std::string Trimmed(std::string_view s)
{
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    std::string out(s);
    for (auto& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// A key as the user names it: its index on the keyboard picture (0..103) or
// its name ("F5", "Esc"); the keyboard's matrix position.
std::optional<int> MatrixPosition(const std::string& key)
{
    if (auto index = ParseNumber(key, kKeyCount - 1)) return g_matrixPosByKey[*index];
    std::string wanted = Trimmed(key);
    for (int k = 0; k < kKeyCount; ++k)
        if (Trimmed(KeyName(g_defaultVkByKey[k])) == wanted) return g_matrixPosByKey[k];
    return std::nullopt;
}

// On stdout for "sim help" (exit 0), on stderr after a wrong call.
int SimUsage(std::FILE* out = stderr)
{
    std::fprintf(out,
                 "usage: zr417ctl sim list\n"
                 "       zr417ctl sim plug MODEL            (QV310, QV420 or OEM)\n"
                 "       zr417ctl sim unplug ID [REPORTS]   (now, or after REPORTS more feature reports)\n"
                 "       zr417ctl sim replug ID\n"
                 "       zr417ctl sim press ID KEY          (key index 0..103 or name, e.g. F5)\n"
                 "       zr417ctl sim version ID MAJOR.MINOR\n"
                 "       zr417ctl sim help\n");
    return out == stdout ? kOk : kUsage;
}

void PrintList(const std::vector<simwire::UnitInfo>& units)
{
    if (units.empty()) {
        std::printf("no simulated devices (zr417ctl sim plug MODEL plugs one in)\n");
        return;
    }
    std::printf("%-3s %-6s %-10s %-9s %-9s %-8s %s\n", "ID", "MODEL", "MODE", "STATE", "VID:PID", "FIRMWARE", "NOTE");
    for (const auto& u : units) {
        char ids[16];
        std::snprintf(ids, sizeof ids, "%04x:%04x", u.vendorId, u.productId);
        char fw[16];
        std::snprintf(fw, sizeof fw, "%u.%u", u.fwMajor, u.fwMinor);
        std::printf("%-3u %-6s %-10s %-9s %-9s %-8s %s\n", u.id, u.model.c_str(),
                    u.bootloader ? "bootloader" : "keyboard", u.plugged ? "plugged" : "unplugged", ids, fw,
                    u.note.c_str());
    }
}

}  // namespace

int RunSim(const Options&, const std::vector<std::string>& operands)
{
    const std::string& verb = operands[0];
    const std::size_t n = operands.size();
    Message m;
    if ((verb == "help" || verb == "--help" || verb == "-h") && n == 1) return SimUsage(stdout);
    if (verb == "list" && n == 1) {
        m.op = Op::List;
    } else if (verb == "plug" && n == 2) {
        m.op = Op::Plug;
        m.text = operands[1];
    } else if ((verb == "unplug" && (n == 2 || n == 3)) || ((verb == "replug" || verb == "press") && n >= 2) ||
               (verb == "version" && n == 3)) {
        auto id = ParseNumber(operands[1], 0xFFFFFF);
        if (!id) {
            std::fprintf(stderr, "zr417ctl: sim %s: \"%s\" is not a device ID (see zr417ctl sim list)\n", verb.c_str(),
                         operands[1].c_str());
            return kUsage;
        }
        m.handle = *id;
        if (verb == "unplug") {
            m.op = Op::Unplug;
            if (n == 3) {
                auto reports = ParseNumber(operands[2], 1000000);
                if (!reports || *reports == 0) {
                    std::fprintf(stderr, "zr417ctl: sim unplug: REPORTS must be a number from 1 to 1000000\n");
                    return kUsage;
                }
                m.value = *reports;
            }
        } else if (verb == "replug" && n == 2) {
            m.op = Op::Replug;
        } else if (verb == "press" && n == 3) {
            m.op = Op::Press;
            auto pos = MatrixPosition(operands[2]);
            if (!pos) {
                std::fprintf(stderr, "zr417ctl: sim press: no key \"%s\" (a key index 0..103 or a key name)\n",
                             operands[2].c_str());
                return kUsage;
            }
            m.value = static_cast<std::uint32_t>(*pos);
        } else if (verb == "version") {
            m.op = Op::SetVersion;
            const std::string& v = operands[2];
            auto dot = v.find('.');
            auto major = dot == std::string::npos ? std::nullopt : ParseNumber(v.substr(0, dot), 9);
            auto minor = dot == std::string::npos ? std::nullopt : ParseNumber(v.substr(dot + 1), 9);
            // The version file holds one digit each, so the keyboard's version is compared digit by digit.
            if (!major || !minor) {
                std::fprintf(stderr, "zr417ctl: sim version: give MAJOR.MINOR with one digit each, e.g. 1.0\n");
                return kUsage;
            }
            m.value = (*major << 8) | *minor;
        } else {
            return SimUsage();
        }
    } else {
        return SimUsage();
    }

    auto socket = simwire::SocketFromEnvironment().value_or(simwire::DefaultSocketPath());
    simwire::SimConnection connection(socket, /*reconnect=*/false);
    if (!connection.connected()) {
        if (auto refusal = connection.refusal(); !refusal.empty())
            std::fprintf(stderr, "zr417ctl: %s\n", refusal.c_str());
        else
            std::fprintf(stderr, "zr417ctl: no simulator answers at %s (start it with: zr417-sim &)\n", socket.c_str());
        return kNoKeyboard;
    }
    auto reply = connection.request(std::move(m));
    if (!reply) {
        std::fprintf(stderr, "zr417ctl: the simulator at %s did not answer\n", socket.c_str());
        return kNoKeyboard;
    }
    if (verb == "list") {
        PrintList(reply->units);
        return kOk;
    }
    if (reply->status != simwire::Status::Ok) {
        std::fprintf(stderr, "zr417ctl: sim %s: %s\n", verb.c_str(),
                     reply->text.empty() ? "refused" : reply->text.c_str());
        return kIncomplete;
    }
    std::printf("%s\n", reply->text.c_str());
    return kOk;
}

}  // namespace zr417::cli
