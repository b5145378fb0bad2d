#include "keymap/scan_codes.h"
#include "config/keys.h"
#include "tests/keymap/evdev_keys.h"

#include <gtest/gtest.h>

#include <linux/input-event-codes.h>
#include <array>
#include <set>

namespace zr417 {
namespace {

TEST(ScanCodes, EveryPhysicalKeyTranslatesToItsDefaultVirtualKey)
{
    std::set<std::uint16_t> seen;
    for (int k = 0; k < kKeyCount; ++k) {
        if (k == kFnKey) continue;
        std::uint16_t evdev = test::kEvdevByKey[k];
        EXPECT_TRUE(seen.insert(evdev).second) << "key " << k << " shares its scan code";
        EXPECT_EQ(VkFromEvdev(evdev), g_defaultVkByKey[k]) << "key " << k;
        // As X11 and Wayland report it.
        EXPECT_EQ(VkFromXkbKeycode(evdev + kXkbKeycodeOffset), g_defaultVkByKey[k]) << "key " << k;
    }
}

TEST(ScanCodes, EveryReportedKeyHasANameAndADeviceCode)
{
    int reported = 0;
    for (std::uint32_t evdev = 0; evdev < 1024; ++evdev) {
        std::uint8_t vk = VkFromEvdev(evdev);
        if (vk == 0) continue;
        ++reported;
        EXPECT_FALSE(KeyName(vk).empty()) << evdev;
        EXPECT_NE(KeyCode(vk), 0) << evdev;
    }
    EXPECT_GE(reported, kKeyCount - 1);
    EXPECT_EQ(VkFromEvdev(KEY_RESERVED), 0);
    EXPECT_EQ(VkFromEvdev(0xFFFFFFFFu), 0);
    for (std::uint32_t keycode = 0; keycode <= kXkbKeycodeOffset; ++keycode)
        EXPECT_EQ(VkFromXkbKeycode(keycode), 0) << keycode;
}

TEST(ScanCodes, LeftRightAndPadKeysStayApart)
{
    EXPECT_EQ(VkFromEvdev(KEY_LEFTCTRL), 0xA2);
    EXPECT_EQ(VkFromEvdev(KEY_RIGHTCTRL), 0xA3);
    EXPECT_EQ(VkFromEvdev(KEY_LEFTSHIFT), 0xA0);
    EXPECT_EQ(VkFromEvdev(KEY_RIGHTSHIFT), 0xA1);
    EXPECT_EQ(VkFromEvdev(KEY_LEFTALT), 0xA4);
    EXPECT_EQ(VkFromEvdev(KEY_RIGHTALT), 0xA5);
    EXPECT_EQ(VkFromEvdev(KEY_LEFTMETA), 0x5B);
    EXPECT_EQ(VkFromEvdev(KEY_RIGHTMETA), 0x5C);
    EXPECT_EQ(VkFromEvdev(KEY_ENTER), 0x0D);
    EXPECT_EQ(VkFromEvdev(KEY_KPENTER), 0x6C);
    EXPECT_EQ(VkFromEvdev(KEY_MINUS), 0xBD);
    EXPECT_EQ(VkFromEvdev(KEY_KPMINUS), 0x6D);
    EXPECT_EQ(VkFromEvdev(KEY_DOT), 0xBE);
    EXPECT_EQ(VkFromEvdev(KEY_KPDOT), 0x6E);
    EXPECT_EQ(VkFromEvdev(KEY_SLASH), 0xBF);
    EXPECT_EQ(VkFromEvdev(KEY_KPSLASH), 0x6F);
}

}  // namespace
}  // namespace zr417
