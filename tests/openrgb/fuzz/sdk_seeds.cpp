#include "openrgb/sdk_wire.h"

#include <string>
#include <vector>

std::vector<std::string> FuzzSeeds()
{
    using namespace zr417::openrgb;
    auto add = [](std::string& s, std::uint32_t dev, std::uint32_t id, const std::vector<std::uint8_t>& payload) {
        auto p = EncodePacket(dev, id, payload);
        s.append(p.begin(), p.end());
    };
    std::vector<std::string> seeds;
    for (std::uint32_t v : {5u, 3u, 0u}) {
        std::string s(1, static_cast<char>(v == 3 ? 1 : 0));
        add(s, 0, packet::RequestProtocolVersion, {static_cast<std::uint8_t>(v), 0, 0, 0});
        add(s, 0, packet::SetClientName, BareStringPayload("seed"));
        add(s, 0, packet::RequestControllerCount, {});
        add(s, 0, packet::RequestControllerData, {static_cast<std::uint8_t>(v), 0, 0, 0});
        add(s, 1, packet::RequestControllerData, {static_cast<std::uint8_t>(v), 0, 0, 0});
        Mode m;
        m.name = "Breathing";
        m.flags = 0x2D1;
        m.speed = 3;
        m.colourMode = colour_mode::ModeSpecific;
        m.colours = {{0, 0, 255}};
        add(s, 0, packet::UpdateMode, UpdateModePayload(2, m, v));
        add(s, 1, packet::SaveMode, UpdateModePayload(1, m, v));
        add(s, 0, packet::SetCustomMode, {});
        add(s, 0, packet::UpdateLeds, UpdateLedsPayload(std::vector<Colour>(104, {1, 2, 3})));
        add(s, 0, packet::UpdateZoneLeds, UpdateZoneLedsPayload(0, std::vector<Colour>(10, {4, 5, 6})));
        add(s, 0, packet::UpdateSingleLed, UpdateSingleLedPayload(7, {7, 8, 9}));
        add(s, 0, packet::AddSegment, AddSegmentPayload(0, {"S", 1, 2, 3}));
        add(s, 0, packet::ClearSegments, {0, 0, 0, 0});
        add(s, 0, packet::ResizeZone, {0, 0, 0, 0, 1, 0, 0, 0});
        add(s, 0, packet::RequestProfileList, {});
        add(s, 0, packet::RequestSaveProfile, BareStringPayload("P"));
        add(s, 0, packet::RequestLoadProfile, BareStringPayload("A"));
        add(s, 0, packet::RequestDeleteProfile, BareStringPayload("A"));
        add(s, 0, packet::RequestPluginList, {});
        add(s, 0, packet::RequestRescanDevices, {});
        seeds.push_back(s);
    }
    return seeds;
}
