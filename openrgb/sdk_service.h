// The OpenRGB SDK server without its sockets: every connection's protocol
// state (negotiated version, client name, framing), the answers to each
// request, and the pace at which clients' changes reach the keyboard.
//
// Clients that stream colours send 30 to 60 updates a second. Their changes
// collect in one pending image (the latest state wins) and go to the program
// at most every 500 ms, one change at a time, so at most two picture writes
// a second reach the keyboard while colours keep changing, and the last state
// lands soon after the client stops.
//
// Single-threaded: the owner calls everything on one thread, and the
// KeyboardModel's callbacks come back on it.
#pragma once

#include "config/image.h"
#include "openrgb/keyboard_controllers.h"
#include "openrgb/sdk_wire.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace zr417::openrgb {

// What the server needs of the program that owns the keyboard.
class KeyboardModel {
public:
    virtual ~KeyboardModel() = default;
    // A keyboard is plugged in and its settings are known.
    virtual bool present() const = 0;
    virtual KeyboardFacts facts() const = 0;
    // The working image the window shows.
    virtual const ConfigImage& image() const = 0;
    // Whether a change may start now: no conversation with the keyboard
    // runs and no dialog works on the image.
    virtual bool canChange() const = 0;
    // Makes the window and the keyboard hold the lighting of `lighting`
    // (LED groups 0 and 6, the pictures), sending only what changed, and
    // keymap.bin follow. `done` runs on the owner's thread once it is over.
    virtual void applyLighting(const ConfigImage& lighting, std::function<void()> done) = 0;
    // The profiles as the profile panel lists them.
    virtual std::vector<std::string> profiles() = 0;
    // With the panel's rules for names; failures are the program's to report.
    virtual void saveProfile(const std::string& name, const ConfigImage& image) = 0;
    virtual void loadProfile(const std::string& name, std::function<void()> done) = 0;
    virtual void deleteProfile(const std::string& name) = 0;
};

class SdkService {
public:
    using ConnectionId = std::uint64_t;
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    struct Callbacks {
        std::function<void(ConnectionId, std::vector<std::uint8_t>)> send;
        // The service dropped the connection (its state is gone already).
        std::function<void(ConnectionId)> close;
        // A change finished: call pump() again soon.
        std::function<void()> wake;
    };
    // At most two picture writes a second.
    static constexpr std::chrono::milliseconds kMinApplyGap{500};

    SdkService(KeyboardModel& model, Callbacks callbacks, Clock clock = std::chrono::steady_clock::now);
    ~SdkService();

    ConnectionId connect();
    void disconnect(ConnectionId id);
    std::size_t connections() const { return connections_.size(); }
    // Bytes from a client, in any pieces.
    void receive(ConnectionId id, std::span<const std::uint8_t> bytes);

    // The keyboard came or went (or another one came): every client hears
    // DeviceListUpdated. Pending changes for the old keyboard are dropped.
    void keyboardListChanged();

    // Starts the pending change when it is due. Returns how long to wait
    // before the next call, or nullopt when nothing waits (or a change runs
    // and wake() will say when it ends).
    std::optional<std::chrono::milliseconds> pump();
    bool idle() const { return !pending_ && !pendingLoad_ && !inFlight_ && !loadInFlight_; }

    // The controllers as clients see them now (pending changes included).
    std::vector<Controller> controllers() const;
    std::uint32_t negotiatedVersion(ConnectionId id) const;
    std::string clientName(ConnectionId id) const;

private:
    struct Connection {
        PacketFramer framer;
        std::uint32_t version = 0;
        std::string name;
    };

    bool handle(ConnectionId id, Connection& c, const PacketFramer::Packet& p);
    void broadcast(const std::vector<std::uint8_t>& bytes);
    std::uint32_t controllerCount() const;
    std::size_t ledCount(std::uint32_t controller) const;
    // The image clients' changes build on: pending, else in flight, else the window's.
    const ConfigImage& view() const;
    // Runs `edit` on the pending image; keeps it only when something changed.
    // While a profile is being loaded, edits wait and then build on it.
    using Edit = std::function<bool(ConfigImage&)>;
    void change(Edit edit);

    KeyboardModel& model_;
    Callbacks callbacks_;
    Clock clock_;
    std::map<ConnectionId, Connection> connections_;
    ConnectionId nextId_ = 1;
    bool announcedPresent_ = false;
    SegmentTable segments_;

    std::unique_ptr<ConfigImage> pending_;   // the latest state clients asked for
    std::shared_ptr<ConfigImage> inFlight_;  // what the running change sends
    std::optional<std::string> pendingLoad_;
    std::vector<Edit> afterLoad_;
    bool loadInFlight_ = false;
    std::optional<std::chrono::steady_clock::time_point> lastStart_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace zr417::openrgb
