// The messages between zr417-sim and its clients. One message is one
// SOCK_SEQPACKET datagram: a fixed header (operation, sequence number,
// handle) followed by the operation's fields. Requests are answered by a
// Reply carrying the request's sequence number; plug events, input reports
// and "handle gone" notes are pushed by the server at any time (sequence 0).
#pragma once

#include "device/hid.h"
#include "platform/user_runtime.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zr417::simwire {

// Large enough for an enumeration of 32 devices; the biggest report is 2050.
constexpr std::size_t kMaxMessage = 64 * 1024;

enum class Op : std::uint8_t {
    // HID requests (client -> server).
    Enumerate = 1,
    Open = 2,  // text: path -> handle
    Close = 3,
    SetFeature = 4,  // bytes: the report
    GetFeature = 5,  // bytes: the buffer (report ID first) -> bytes

    // Control requests (zr417ctl sim ...).
    Plug = 20,        // text: model -> id
    Unplug = 21,      // id, value: 0 now, else after that many feature reports
    Replug = 22,      // id
    Press = 23,       // id, value: matrix position
    SetVersion = 24,  // id, value: major << 8 | minor
    List = 25,        // -> units

    // Server -> client.
    Reply = 0x80,
    PlugEvent = 0x81,  // value: 0 arrival, 1 removal; text: path
    Input = 0x82,      // handle; bytes: the input report
    Gone = 0x83,       // handle: its device was unplugged
};

enum class Status : std::uint8_t {
    Ok = 0,
    Failed = 1,        // the device refused or the request could not be done
    Disconnected = 2,  // the handle's device is gone
    BadRequest = 3,    // unknown handle, malformed message
    // The first and last message of a connection the simulator will not
    // serve (another user's program, too many at once); text: why.
    Refused = 4,
};

// What zr417ctl sim list shows of one simulated device.
struct UnitInfo {
    std::uint32_t id = 0;
    std::string model;  // QV310, QV420, OEM
    bool bootloader = false;
    bool plugged = false;
    std::uint8_t fwMajor = 0, fwMinor = 0;
    std::uint16_t vendorId = 0, productId = 0;
    std::string note;  // e.g. "burned 1 time(s)"
};

// A decoded message. Unused fields stay empty.
struct Message {
    Op op = Op::Reply;
    std::uint32_t seq = 0;
    std::uint32_t handle = 0;  // or unit id for control requests
    Status status = Status::Ok;
    std::uint32_t value = 0;
    std::string text;
    std::vector<std::uint8_t> bytes;
    std::vector<hid::CollectionInfo> collections;
    std::vector<UnitInfo> units;
};

std::vector<std::uint8_t> Encode(const Message& m);
// nullopt for a truncated or malformed message (never reads past the end).
std::optional<Message> Decode(const std::uint8_t* data, std::size_t size);

// The user zr417-sim serves and its socket belongs to: under sudo the user
// who ran sudo, else this process's own.
UserIds ServingUser();
// Who may be at the other end of the simulator's socket, on either side:
// this process's user, root, and under sudo the user who ran sudo.
bool TrustedPeer(uid_t uid);

// The simulator's socket: zr417-sim.sock in the serving user's runtime folder
// ($XDG_RUNTIME_DIR, /run/user/<uid> or /tmp/zr417-<uid>).
std::filesystem::path DefaultSocketPath();
// The same for zr417-sim, with the folder made or checked; nullopt with the
// reason when it cannot be used safely.
std::optional<std::filesystem::path> PrepareDefaultSocketPath(std::string* error);
// ZR417_SIM: unset, empty or "0" -> none; a value with a '/' -> that socket
// path; anything else ("1") -> the default socket.
std::optional<std::filesystem::path> SocketFromSetting(const char* value);
std::optional<std::filesystem::path> SocketFromEnvironment();

// Blocking helpers on a SOCK_SEQPACKET socket (MSG_NOSIGNAL; EINTR retried).
bool SendMessage(int fd, const Message& m);
// Connects to `path`; -1 with errno set when nothing listens there.
int ConnectSocket(const std::filesystem::path& path);
// Connects to the simulator at `path`, refusing a socket file or a listening
// program of an untrusted user: -1 then, with the reason in `refusal` (left
// empty when nothing listens there).
int ConnectToSimulator(const std::filesystem::path& path, std::string* refusal);

}  // namespace zr417::simwire
