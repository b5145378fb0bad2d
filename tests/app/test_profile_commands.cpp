// When a profile needs no download: judged against an emulated keyboard that
// was sent the profile and read back, as zr417ctl and the program judge it.
#include "app/profile_commands.h"
#include "tests/device/fixtures.h"

#include <gtest/gtest.h>

namespace zr417 {
namespace {

// The profile after a download into the keyboard, and the keyboard as read back.
struct SentAndRead : testing::LinkFixture {
    explicit SentAndRead(std::string_view model) : LinkFixture(model)
    {
        link.OpenDeviceHandles();
        testing::Noise(profile.settings.data() + settings::KeyMatrix, settings::MacroPages - settings::KeyMatrix, 7);
        testing::Noise(profile.settings.data() + settings::PicturePages, 5 * settings::PageSize, 8);
        std::uint8_t* slot = profile.settings.data() + settings::MacroSlots + settings::MacroSlotSize * 3;
        slot[2] = 3;  // a step with a 100 ms delay: sent as 13 units of 8 ms
        slot[3] = 0x04;
        slot[5] = 100;
        profile.at(settings::WinLock) = 1;
        profile.at(settings::GameMode) = 0;
        image = profile;
        protocol.DownloadAll();
        image = ConfigImage{};
        protocol.ReadEverything();
    }
    ConfigImage profile;
};

TEST(KeyboardAlreadyHolds, WhatWasSentAndNothingThatWouldSendMore)
{
    for (std::string_view model : {"QV310", "QV420"}) {
        SentAndRead k(model);
        const int m = k.link.g_nModel();
        ASSERT_EQ(k.protocol.failures(), 0);
        EXPECT_TRUE(KeyboardAlreadyHolds(k.image, k.profile, m)) << model;

        // The key table never reaches the keyboard.
        ConfigImage hostOnly = k.profile;
        hostOnly.entry(9)[entry::Kind] = 5;
        EXPECT_TRUE(KeyboardAlreadyHolds(k.image, hostOnly, m)) << model;

        // A macro edited in its slot goes out although the profile's stale
        // page still matches the keyboard.
        ConfigImage macro = k.profile;
        macro.at(settings::MacroSlots + settings::MacroSlotSize * 3 + 5) = 200;
        EXPECT_FALSE(KeyboardAlreadyHolds(k.image, macro, m)) << model;

        for (std::size_t offset : {settings::GameMode, settings::WinLock, settings::Plane0 + 40, settings::Speed,
                                   settings::ZoneBrightness, settings::PicturePages + 3 * settings::PageSize + 9}) {
            ConfigImage changed = k.profile;
            changed.at(offset) ^= 1;
            EXPECT_FALSE(KeyboardAlreadyHolds(k.image, changed, m)) << model << " offset " << offset;
        }
    }

    // The second model's host-only Neon (effect 9) goes out as effect 8 with
    // colour 0: a keyboard told so holds it.
    SentAndRead qv420("QV420");
    ConfigImage neon = qv420.profile;
    neon.at(settings::Effect) = 9;
    neon.at(settings::ColourIndex) = 4;
    ConfigImage held = qv420.image;
    held.at(settings::Effect) = 8;
    held.at(settings::ColourIndex) = 0;
    EXPECT_TRUE(KeyboardAlreadyHolds(held, neon, kModelQV420));
    EXPECT_FALSE(KeyboardAlreadyHolds(held, neon, kModelQV310));
}

}  // namespace
}  // namespace zr417
