// The SDK server's protocol without sockets, against a keyboard model that
// records what it was asked to do: what clients see of both models, what
// their requests change, how streamed changes are paced (on a clock the test
// moves), and that a misbehaving client harms nobody else.
#include "openrgb/sdk_service.h"
#include "app/main_logic.h"
#include "config/keys.h"
#include "config/lighting.h"
#include "device/identities.h"
#include "openrgb/socket_owner.h"
#include "tests/openrgb/fake_keyboard_model.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <set>

namespace zr417::openrgb {
namespace {

using namespace std::chrono_literals;

struct Client {
    std::vector<std::uint8_t> received;
    bool closed = false;

    // The packets received so far, framed.
    std::vector<PacketFramer::Packet> packets() const
    {
        PacketFramer f;
        f.feed(received);
        std::vector<PacketFramer::Packet> out;
        PacketFramer::Packet p;
        while (f.next(p) == PacketFramer::Status::Packet) out.push_back(p);
        return out;
    }
};

class Service : public ::testing::Test {
protected:
    Service()
    {
        model_.changesWait_ = true;  // each change ends when a test says so
        SdkService::Callbacks cb;
        cb.send = [this](SdkService::ConnectionId id, std::vector<std::uint8_t> b) {
            auto& r = clients_[id].received;
            r.insert(r.end(), b.begin(), b.end());
        };
        cb.close = [this](SdkService::ConnectionId id) { clients_[id].closed = true; };
        cb.wake = [this] { ++wakes_; };
        service_ = std::make_unique<SdkService>(model_, cb, [this] { return now_; });
    }

    SdkService::ConnectionId connect(std::uint32_t version)
    {
        auto id = service_->connect();
        send(id, packet::RequestProtocolVersion,
             std::vector<std::uint8_t>{static_cast<std::uint8_t>(version), 0, 0, 0});
        send(id, packet::SetClientName, BareStringPayload("test"));
        clients_[id].received.clear();
        return id;
    }
    void send(SdkService::ConnectionId id, std::uint32_t packetId, const std::vector<std::uint8_t>& payload,
              std::uint32_t dev = 0)
    {
        service_->receive(id, EncodePacket(dev, packetId, payload));
    }
    // Runs the pump as the server's timer would, up to `until` on the test's clock.
    void runUntil(std::chrono::steady_clock::time_point until)
    {
        while (now_ <= until) {
            auto next = service_->pump();
            if (!model_.running.empty()) model_.finish();
            if (!next && model_.running.empty() && service_->idle()) return;
            now_ += next ? std::max(*next, 1ms) : 1ms;
        }
    }
    Mode modeNamed(std::uint32_t controller, const std::string& name, int* index)
    {
        auto c = service_->controllers().at(controller);
        for (std::size_t i = 0; i < c.modes.size(); ++i)
            if (c.modes[i].name == name) {
                *index = static_cast<int>(i);
                return c.modes[i];
            }
        ADD_FAILURE() << "no mode " << name;
        return {};
    }

    FakeKeyboardModel model_;
    std::map<SdkService::ConnectionId, Client> clients_;
    std::chrono::steady_clock::time_point now_{};
    int wakes_ = 0;
    std::unique_ptr<SdkService> service_;
};

std::set<std::uint32_t> Cells(const Zone& z)
{
    std::set<std::uint32_t> keys;
    for (auto cell : z.matrix)
        if (cell != kNoLed) keys.insert(cell);
    return keys;
}

TEST_F(Service, BothModelsAreDescribedAsThePanelShowsThem)
{
    for (int model : {int{kModelQV310}, int{kModelQV420}}) {
        SCOPED_TRACE(model);
        model_.facts_.model = model;
        auto& g = model_.image_->settings;
        g[settings::Effect] = 13;  // DIY3
        SetKeyColour(*model_.image_, 2, 1, {10, 20, 30});
        auto cs = service_->controllers();
        ASSERT_EQ(cs.size(), 2u);
        const Controller& kb = cs[0];
        const std::string name = model == kModelQV310 ? "ZR417 QV310" : "ZR417 QV420";
        EXPECT_EQ(kb.name, name);
        EXPECT_EQ(kb.type, kDeviceKeyboard);
        EXPECT_EQ(kb.version, "1.4");
        EXPECT_EQ(kb.location, "/dev/hidraw3");
        EXPECT_EQ(cs[1].name, name + " Side Light");
        const auto effects = EffectList(ModelOf(model));
        ASSERT_EQ(kb.modes.size(), effects.size());
        for (std::size_t i = 0; i < effects.size(); ++i) {
            const Mode& m = kb.modes[i];
            SCOPED_TRACE(m.name);
            EXPECT_EQ(m.name, effects[i].english);
            EXPECT_EQ(m.value, effects[i].code);
            // What the npm client can parse, and every change is stored.
            EXPECT_LT(m.flags, 0x400u);
            EXPECT_TRUE(m.flags & mode_flag::AutomaticSave);
            if (!m.colours.empty()) {
                EXPECT_TRUE(m.flags & mode_flag::AnyColour);
            }
            const bool diy = effects[i].code >= 11;
            EXPECT_EQ(bool(m.flags & mode_flag::PerLedColour), diy);
            EXPECT_EQ(bool(m.flags & mode_flag::Speed), !diy && !IsStaticEffect(ModelOf(model), effects[i].code));
            EXPECT_EQ(bool(m.flags & mode_flag::DirectionUD), IsWaveEffect(ModelOf(model), effects[i].code));
            if (m.flags & mode_flag::Speed) {
                EXPECT_EQ(m.speedMax, 6u);
            }
            EXPECT_EQ(m.brightnessMax, 5u);
        }
        EXPECT_EQ(kb.modes[static_cast<std::size_t>(kb.activeMode)].name, "DIY3");

        // The matrix zone: every key once, the LEDs in key order with their labels.
        ASSERT_EQ(kb.zones.size(), 1u);
        const Zone& z = kb.zones[0];
        EXPECT_EQ(z.ledsCount, 104u);
        EXPECT_EQ(z.matrix.size(), std::size_t{z.matrixHeight} * z.matrixWidth);
        EXPECT_EQ(Cells(z).size(), 104u);
        EXPECT_EQ(std::count(z.matrix.begin(), z.matrix.end(), kNoLed), static_cast<long>(z.matrix.size()) - 104);
        EXPECT_EQ(z.matrixHeight, 6u);
        // Esc starts the top row; F1 (the second key) stands apart from it.
        EXPECT_EQ(z.matrix[0], 0u);
        EXPECT_EQ(z.matrix[1], kNoLed);
        EXPECT_EQ(z.matrix[2], 1u);
        ASSERT_EQ(kb.leds.size(), 104u);
        EXPECT_EQ(kb.leds[0].name, "Key: Esc");
        EXPECT_EQ(kb.leds[103].name, "Key: .");
        EXPECT_EQ(kb.colours[1], (Colour{10, 20, 30}));
        EXPECT_EQ(kb.colours[0], (Colour{0, 0, 0}));

        // A hardware effect shows no picture.
        g[settings::Effect] = StaticEffect(ModelOf(model));
        auto lit = service_->controllers()[0].colours;
        EXPECT_EQ(std::count(lit.begin(), lit.end(), Colour{}), 104);
    }
}

TEST_F(Service, ModesAndColoursReachTheImageAsTheClientMeantThem)
{
    auto c = connect(5);
    int breathing = -1;
    Mode m = modeNamed(0, "Breathing", &breathing);
    m.speed = 9;  // past the range: the fastest
    m.brightness = 2;
    m.colourMode = colour_mode::ModeSpecific;
    m.colours = {{10, 20, 240}};  // nearly blue
    send(c, packet::UpdateMode, UpdateModePayload(breathing, m, 5));
    // The client sees its change before the keyboard has it.
    EXPECT_EQ(service_->controllers()[0].activeMode, breathing);
    runUntil(now_ + 2s);
    ASSERT_EQ(model_.applied.size(), 1u);
    const auto& g = model_.image_->settings;
    EXPECT_EQ(g[settings::Effect], 1);
    EXPECT_EQ(g[settings::Speed], 6);
    EXPECT_EQ(g[settings::Brightness], 2);
    EXPECT_EQ(g[settings::ColourIndex], 4);

    // Random colour is the multicolour cell; a version 2 client sends no brightness.
    auto old = connect(2);
    m.colourMode = colour_mode::Random;
    m.brightness = 0;
    send(old, packet::SaveMode, UpdateModePayload(breathing, m, 2));
    runUntil(now_ + 2s);
    EXPECT_EQ(g[settings::ColourIndex], 0);
    EXPECT_EQ(g[settings::Brightness], 2);

    // Wave takes up/down; Static never keeps the multicolour cell.
    int wave = -1, stat = -1;
    Mode w = modeNamed(0, "Wave", &wave);
    w.direction = direction::Up;
    send(c, packet::UpdateMode, UpdateModePayload(wave, w, 5));
    runUntil(now_ + 2s);
    EXPECT_EQ(g[settings::Direction], 3);
    Mode s = modeNamed(0, "Static", &stat);
    s.colourMode = colour_mode::Random;
    send(c, packet::UpdateMode, UpdateModePayload(stat, s, 5));
    runUntil(now_ + 2s);
    EXPECT_EQ(g[settings::Effect], 0);
    EXPECT_NE(g[settings::ColourIndex], 0);

    // The side light: its own group, left/right only.
    int zoneWave = -1;
    Mode zw = modeNamed(1, "Wave", &zoneWave);
    zw.direction = direction::Left;
    send(c, packet::UpdateMode, UpdateModePayload(zoneWave, zw, 5), 1);
    runUntil(now_ + 2s);
    EXPECT_EQ(g[settings::ZoneMode], 1);
    EXPECT_EQ(g[settings::ZoneDirection], 1);

    // LEDs: nothing while a hardware effect runs; SetCustomMode picks DIY1.
    send(c, packet::UpdateSingleLed, UpdateSingleLedPayload(5, {1, 2, 3}));
    EXPECT_TRUE(service_->idle());
    send(c, packet::SetCustomMode, {});
    send(c, packet::UpdateSingleLed, UpdateSingleLedPayload(5, {1, 2, 3}));
    send(c, packet::UpdateZoneLeds, UpdateZoneLedsPayload(0, std::vector<Colour>(200, {9, 9, 9})));
    send(c, packet::UpdateSingleLed, UpdateSingleLedPayload(104, {7, 7, 7}));  // no such key
    runUntil(now_ + 2s);
    EXPECT_EQ(g[settings::Effect], 11);
    EXPECT_EQ(KeyColour(*model_.image_, 0, 5), (Rgb{9, 9, 9}));
    EXPECT_EQ(KeyColour(*model_.image_, 0, 103), (Rgb{9, 9, 9}));
    EXPECT_FALSE(clients_[c].closed);
}

TEST_F(Service, StreamedColoursArePacedAndTheLastStateLands)
{
    auto c = connect(5);
    send(c, packet::SetCustomMode, {});
    const auto start = now_;
    std::vector<std::chrono::steady_clock::time_point> starts;
    // Three seconds of colours at 60 a second, while each change takes 200 ms.
    std::uint8_t shade = 0;
    for (auto t = start; t < start + 3s; t += 16ms) {
        now_ = t;
        send(c, packet::UpdateLeds, UpdateLedsPayload(std::vector<Colour>(104, {++shade, 0, 0})));
        auto before = model_.applied.size();
        service_->pump();
        if (model_.applied.size() > before) starts.push_back(now_);
        while (!model_.running.empty() && now_ - starts.back() >= 200ms) model_.finish();
    }
    ASSERT_GE(starts.size(), 4u);
    for (std::size_t i = 1; i < starts.size(); ++i)
        EXPECT_GE(starts[i] - starts[i - 1], 500ms) << "at most two picture writes a second";
    EXPECT_LE(starts.size(), 7u);

    // The client stops: the last colours land within a second.
    const auto stopped = now_;
    while (!model_.running.empty()) model_.finish();
    runUntil(stopped + 1s);
    EXPECT_TRUE(service_->idle());
    EXPECT_EQ(KeyColour(*model_.image_, 0, 50), (Rgb{shade, 0, 0}));
    EXPECT_LE(now_ - stopped, 1s);

    // One conversation at a time: while a change runs, nothing else starts.
    send(c, packet::UpdateSingleLed, UpdateSingleLedPayload(0, {1, 1, 1}));
    now_ += 1s;
    service_->pump();
    ASSERT_EQ(model_.running.size(), 1u);
    send(c, packet::UpdateSingleLed, UpdateSingleLedPayload(0, {2, 2, 2}));
    now_ += 1s;
    EXPECT_FALSE(service_->pump());
    EXPECT_EQ(model_.running.size(), 1u);
    // A dialog holding the image keeps changes waiting, not lost.
    model_.finish();
    model_.canChange_ = false;
    EXPECT_TRUE(service_->pump());
    EXPECT_TRUE(model_.running.empty());
    model_.canChange_ = true;
    runUntil(now_ + 1s);
    EXPECT_EQ(KeyColour(*model_.image_, 0, 0), (Rgb{2, 2, 2}));
}

TEST_F(Service, ProfilesAndTheDeviceList)
{
    auto a = connect(5), b = connect(3);
    send(a, packet::RequestProfileList, {});
    auto reply = clients_[a].packets();
    ASSERT_EQ(reply.size(), 1u);
    Reader r(reply[0].payload);
    EXPECT_EQ(r.u32(), reply[0].payload.size());
    ASSERT_EQ(r.u16(), 2);
    EXPECT_EQ(r.str(), "Gaming");
    EXPECT_EQ(r.str(), "Work");

    send(a, packet::SetCustomMode, {});
    send(a, packet::RequestSaveProfile, BareStringPayload("Lit"));
    ASSERT_EQ(model_.saved.size(), 1u);
    EXPECT_EQ(model_.saved[0], (std::pair<std::string, int>{"Lit", 11})) << "saved as the client sees it";

    // A load replaces what came before it; what comes after builds on it.
    send(a, packet::UpdateSingleLed, UpdateSingleLedPayload(0, {5, 5, 5}));
    send(a, packet::RequestLoadProfile, BareStringPayload("Gaming"));
    send(a, packet::UpdateSingleLed, UpdateSingleLedPayload(1, {6, 6, 6}));
    runUntil(now_ + 3s);
    EXPECT_EQ(model_.loads, std::vector<std::string>{"Gaming"});
    EXPECT_EQ(model_.image_->at(settings::Effect), 12);
    EXPECT_EQ(KeyColour(*model_.image_, 1, 1), (Rgb{6, 6, 6}));
    EXPECT_EQ(KeyColour(*model_.image_, 0, 0), (Rgb{0, 0, 0}));
    send(b, packet::RequestDeleteProfile, BareStringPayload("Work"));
    EXPECT_EQ(model_.deleted, std::vector<std::string>{"Work"});

    // Unplugged: every client hears it, and the list is empty.
    clients_[a].received.clear();
    clients_[b].received.clear();
    model_.present_ = false;
    service_->keyboardListChanged();
    for (auto id : {a, b}) {
        auto got = clients_[id].packets();
        ASSERT_EQ(got.size(), 1u);
        EXPECT_EQ(got[0].header.id, packet::DeviceListUpdated);
        EXPECT_TRUE(got[0].payload.empty());
    }
    clients_[a].received.clear();
    send(a, packet::RequestControllerCount, {});
    send(a, packet::RequestControllerData, {5, 0, 0, 0});
    auto count = clients_[a].packets();
    ASSERT_EQ(count.size(), 1u) << "no data for a controller that is gone";
    EXPECT_EQ(count[0].payload, (std::vector<std::uint8_t>{0, 0, 0, 0}));
}

TEST_F(Service, AClientThatBreaksTheRulesLosesOnlyItsOwnConnection)
{
    auto good = connect(5);
    auto bad = connect(5);
    send(bad, packet::RequestControllerData, {5, 0, 0, 0}, 7);  // no controller 7: ignored
    send(bad, 9999, {1, 2, 3});                                 // unknown: ignored
    EXPECT_FALSE(clients_[bad].closed);
    EXPECT_TRUE(clients_[bad].received.empty());
    auto leds = UpdateLedsPayload(std::vector<Colour>(3));
    leds[0] = 99;  // data_size disagrees
    send(bad, packet::UpdateLeds, leds);
    EXPECT_TRUE(clients_[bad].closed);
    EXPECT_EQ(service_->connections(), 1u);

    auto junk = connect(5);
    service_->receive(junk, std::vector<std::uint8_t>{'H', 'T', 'T', 'P'});
    EXPECT_TRUE(clients_[junk].closed);
    auto huge = connect(5);
    service_->receive(huge, EncodeHeader(0, packet::UpdateLeds, 64u << 20));
    EXPECT_TRUE(clients_[huge].closed);

    // The good client goes on, in the version it asked for.
    send(good, packet::RequestControllerData, {3, 0, 0, 0}, 1);
    auto got = clients_[good].packets();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].header.devId, 1u);
    EXPECT_EQ(got[0].payload, EncodeControllerData(service_->controllers()[1], 3));
    EXPECT_EQ(service_->negotiatedVersion(good), 5u);
    EXPECT_FALSE(clients_[good].closed);
}

TEST(SocketOwner, TheClientsSocketNamesItsUserAndTimeWaitNamesNobody)
{
    // Our server at 127.0.0.1:6742 (0x1A56), clients at ports 40000 (0x9C40) and 40001 (0x9C41).
    const std::string table =
        "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode\n"
        "   0: 0100007F:1A56 00000000:0000 0A 00000000:00000000 00:00000000 00000000  1000        0 111 1\n"
        "   1: 0100007F:1A56 0100007F:9C40 01 00000000:00000000 00:00000000 00000000  1000        0 112 1\n"
        "   2: 0100007F:9C40 0100007F:1A56 01 00000000:00000000 00:00000000 00000000  65534       0 113 1\n"
        "   3: 0100007F:9C41 0100007F:1A56 06 00000000:00000000 03:00001000 00000000     0        0 0 3\n";
    const auto server = TcpEndpoint::V4(0x7F000001, 6742);
    EXPECT_EQ(FindSocketOwner(table, false, TcpEndpoint::V4(0x7F000001, 40000), server), uid_t{65534});
    EXPECT_FALSE(FindSocketOwner(table, false, TcpEndpoint::V4(0x7F000001, 40001), server));
    EXPECT_FALSE(FindSocketOwner(table, false, TcpEndpoint::V4(0x7F000001, 40002), server));

    const std::string table6 =
        "  sl  local_address                         remote_address                        st tx_queue rx_queue tr "
        "tm->when retrnsmt   uid  timeout inode\n"
        "   0: 00000000000000000000000001000000:9C40 00000000000000000000000001000000:1A56 01 00000000:00000000 "
        "00:00000000 00000000  1001        0 114 1\n";
    TcpEndpoint loop6;
    loop6.address[15] = 1;
    loop6.port = 40000;
    TcpEndpoint server6 = loop6;
    server6.port = 6742;
    EXPECT_EQ(FindSocketOwner(table6, true, loop6, server6), uid_t{1001});
}

}  // namespace
}  // namespace zr417::openrgb
