// Scan code to Windows virtual-key code: the keystrokes the key capture
// reports are named by virtual-key code (the row of the key-name table), and
// only the scan code tells left from right modifiers and the numeric pad from
// the main keys.
#pragma once

#include <cstdint>

namespace zr417 {

// Virtual-key code of a Linux input (evdev) key code, 0 for a key we do not
// report. The numeric pad keeps its own codes whatever Num Lock says.
std::uint8_t VkFromEvdev(std::uint32_t evdevCode);

// X11 and Wayland key codes are evdev codes + 8.
constexpr std::uint32_t kXkbKeycodeOffset = 8;
inline std::uint8_t VkFromXkbKeycode(std::uint32_t keycode)
{
    return keycode > kXkbKeycodeOffset ? VkFromEvdev(keycode - kXkbKeycodeOffset) : 0;
}

}  // namespace zr417
