#include "openrgb/sdk_service.h"

#include "config/keys.h"

#include <algorithm>

namespace zr417::openrgb {

namespace {

constexpr std::size_t kMaxClientName = 256;
// While a dialog or another conversation holds the keyboard, look again this often.
constexpr std::chrono::milliseconds kRetry{50};
// Edits that wait for a profile load: a second of streaming at 60 a second, many times over.
constexpr std::size_t kMaxEditsAfterLoad = 4096;

}  // namespace

SdkService::SdkService(KeyboardModel& model, Callbacks callbacks, Clock clock)
    : model_(model), callbacks_(std::move(callbacks)), clock_(std::move(clock)), announcedPresent_(model.present())
{
}

SdkService::~SdkService()
{
    *alive_ = false;
}

SdkService::ConnectionId SdkService::connect()
{
    ConnectionId id = nextId_++;
    connections_.emplace(id, Connection{});
    return id;
}

void SdkService::disconnect(ConnectionId id)
{
    connections_.erase(id);
}

std::uint32_t SdkService::negotiatedVersion(ConnectionId id) const
{
    auto it = connections_.find(id);
    return it == connections_.end() ? 0 : it->second.version;
}

std::string SdkService::clientName(ConnectionId id) const
{
    auto it = connections_.find(id);
    return it == connections_.end() ? std::string() : it->second.name;
}

void SdkService::receive(ConnectionId id, std::span<const std::uint8_t> bytes)
{
    auto it = connections_.find(id);
    if (it == connections_.end()) return;
    it->second.framer.feed(bytes);
    PacketFramer::Packet p;
    for (;;) {
        // A packet may have dropped this very connection.
        it = connections_.find(id);
        if (it == connections_.end()) return;
        auto status = it->second.framer.next(p);
        if (status == PacketFramer::Status::NeedMore) return;
        if (status != PacketFramer::Status::Packet || !handle(id, it->second, p)) {
            connections_.erase(id);
            if (callbacks_.close) callbacks_.close(id);
            return;
        }
    }
}

std::uint32_t SdkService::controllerCount() const
{
    return model_.present() ? 2 : 0;
}

std::size_t SdkService::ledCount(std::uint32_t controller) const
{
    return controller == kKeyboardController ? static_cast<std::size_t>(kKeyCount) : 1;
}

const ConfigImage& SdkService::view() const
{
    if (pending_) return *pending_;
    if (inFlight_) return *inFlight_;
    return model_.image();
}

std::vector<Controller> SdkService::controllers() const
{
    if (!model_.present()) return {};
    return DescribeKeyboard(model_.facts(), view(), segments_);
}

void SdkService::change(Edit edit)
{
    if (pendingLoad_ || loadInFlight_) {
        if (afterLoad_.size() < kMaxEditsAfterLoad) afterLoad_.push_back(std::move(edit));
        return;
    }
    const bool fresh = !pending_;
    if (fresh) pending_ = std::make_unique<ConfigImage>(view());
    if (!edit(*pending_) && fresh) pending_.reset();
}

// False drops the connection: the client broke the framing rules.
bool SdkService::handle(ConnectionId id, Connection& c, const PacketFramer::Packet& p)
{
    const auto& payload = p.payload;
    const std::uint32_t dev = p.header.devId;
    auto send = [&](std::vector<std::uint8_t> bytes) {
        if (callbacks_.send) callbacks_.send(id, std::move(bytes));
    };
    const bool known = dev < controllerCount();
    const int model = model_.present() ? model_.facts().model : 0;

    switch (p.header.id) {
        case packet::RequestControllerCount:
            send(ControllerCountReply(controllerCount()));
            return true;
        case packet::RequestControllerData:
            // Nothing for an index the list does not have (a client that
            // missed DeviceListUpdated asks again after it).
            if (known) send(ControllerDataReply(dev, controllers()[dev], RequestedBlockVersion(payload)));
            return true;
        case packet::RequestProtocolVersion:
            c.version = std::min(ClientProtocolVersion(payload), kServerProtocolVersion);
            send(ProtocolVersionReply());
            return true;
        case packet::SetClientName:
            c.name = ParseBareString(payload).substr(0, kMaxClientName);
            return true;
        case packet::RequestRescanDevices:
            if (model_.present() != announcedPresent_) keyboardListChanged();
            return true;
        case packet::RequestProfileList:
            send(ProfileListReply(model_.profiles()));
            return true;
        case packet::RequestSaveProfile:
            model_.saveProfile(ParseBareString(payload), view());
            return true;
        case packet::RequestLoadProfile:
            // The profile replaces whatever the client asked for before it.
            pending_.reset();
            afterLoad_.clear();
            pendingLoad_ = ParseBareString(payload);
            return true;
        case packet::RequestDeleteProfile:
            model_.deleteProfile(ParseBareString(payload));
            return true;
        case packet::RequestPluginList:
            send(PluginListReply());
            return true;
        case packet::ResizeZone:
            // Every zone has the size of the keyboard's own: nothing to resize.
            return true;
        case packet::ClearSegments: {
            auto zone = ParseClearSegments(payload);
            if (known && zone.value && *zone.value == 0) segments_[dev].clear();
            return true;
        }
        case packet::AddSegment: {
            auto req = ParseAddSegment(payload);
            if (!known || !req.value || req.value->zone != 0) return true;
            const Segment& s = req.value->segment;
            if (s.count == 0 || s.start >= ledCount(dev) || s.count > ledCount(dev) - s.start ||
                segments_[dev].size() >= kMaxSegmentsPerZone)
                return true;
            segments_[dev].push_back(s);
            return true;
        }
        case packet::UpdateLeds: {
            auto req = ParseUpdateLeds(payload);
            if (!req.value) return req.error != ParseError::SizeMismatch;
            if (!known || req.value->colours.size() > ledCount(dev)) return true;
            change([dev, colours = std::move(req.value->colours)](ConfigImage& image) {
                return SetLedColours(image, dev, 0, colours);
            });
            return true;
        }
        case packet::UpdateZoneLeds: {
            auto req = ParseUpdateZoneLeds(payload);
            if (!req.value) return req.error != ParseError::SizeMismatch;
            if (!known || req.value->zone != 0) return true;
            auto& colours = req.value->colours;
            colours.resize(std::min(colours.size(), ledCount(dev)));
            change([dev, colours = std::move(colours)](ConfigImage& image) {
                return SetLedColours(image, dev, 0, colours);
            });
            return true;
        }
        case packet::UpdateSingleLed: {
            auto req = ParseUpdateSingleLed(payload);
            if (!req.value) return false;
            if (!known || req.value->led < 0 || static_cast<std::size_t>(req.value->led) >= ledCount(dev)) return true;
            change([dev, led = static_cast<std::uint32_t>(req.value->led),
                    colour = req.value->colour](ConfigImage& image) {
                return SetLedColours(image, dev, led, {&colour, 1});
            });
            return true;
        }
        case packet::SetCustomMode:
            if (known) change([dev](ConfigImage& image) { return SetCustomMode(image, dev); });
            return true;
        case packet::UpdateMode:
        case packet::SaveMode: {
            // Every write stays in the keyboard: saving is updating.
            auto req = ParseUpdateMode(payload, c.version);
            if (!req.value) return p.header.id == packet::SaveMode || req.error != ParseError::SizeMismatch;
            if (!known) return true;
            change([model, dev, req = std::move(*req.value), version = c.version](ConfigImage& image) {
                return ApplyMode(image, model, dev, req.modeIndex, req.mode, version);
            });
            return true;
        }
        default:
            // Unknown packets (plugin-specific ones among them) are read and ignored.
            return true;
    }
}

void SdkService::broadcast(const std::vector<std::uint8_t>& bytes)
{
    std::vector<ConnectionId> ids;
    for (const auto& [id, c] : connections_) ids.push_back(id);
    for (ConnectionId id : ids)
        if (callbacks_.send) callbacks_.send(id, bytes);
}

void SdkService::keyboardListChanged()
{
    announcedPresent_ = model_.present();
    pending_.reset();
    pendingLoad_.reset();
    afterLoad_.clear();
    for (auto& s : segments_) s.clear();
    broadcast(DeviceListUpdatedNotice());
}

std::optional<std::chrono::milliseconds> SdkService::pump()
{
    if (!model_.present()) {
        pending_.reset();
        pendingLoad_.reset();
        afterLoad_.clear();
    }
    if (!pending_ && !pendingLoad_) return std::nullopt;
    if (inFlight_ || loadInFlight_) return std::nullopt;
    if (!model_.canChange()) return kRetry;
    const auto now = clock_();
    if (lastStart_ && now - *lastStart_ < kMinApplyGap)
        return std::chrono::ceil<std::chrono::milliseconds>(kMinApplyGap - (now - *lastStart_));
    lastStart_ = now;
    std::weak_ptr<bool> alive = alive_;
    if (pendingLoad_) {
        std::string name = std::move(*pendingLoad_);
        pendingLoad_.reset();
        loadInFlight_ = true;
        model_.loadProfile(name, [this, alive] {
            if (alive.expired()) return;
            loadInFlight_ = false;
            auto edits = std::move(afterLoad_);
            afterLoad_.clear();
            for (auto& edit : edits) change(std::move(edit));
            if (callbacks_.wake) callbacks_.wake();
        });
        return std::nullopt;
    }
    // Held here too: the model may finish before it returns.
    std::shared_ptr<ConfigImage> sending = std::move(pending_);
    inFlight_ = sending;
    model_.applyLighting(*sending, [this, alive] {
        if (alive.expired()) return;
        inFlight_.reset();
        if (callbacks_.wake) callbacks_.wake();
    });
    return std::nullopt;
}

}  // namespace zr417::openrgb
