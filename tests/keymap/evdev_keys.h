// The physical key behind each key index, as the kernel numbers it (shared
// by the scan-code and the key capture tests).
#pragma once

#include "config/keys.h"

#include <linux/input-event-codes.h>
#include <array>
#include <cstdint>

namespace zr417::test {

// The Fn key never reaches the host, so it has none (0).
// clang-format off
inline constexpr std::array<std::uint16_t, kKeyCount> kEvdevByKey = {
    KEY_ESC,                                                                        // 0
    KEY_F1, KEY_F2, KEY_F3, KEY_F4, KEY_F5, KEY_F6, KEY_F7, KEY_F8, KEY_F9, KEY_F10, KEY_F11, KEY_F12,  // 1-12
    KEY_SYSRQ, KEY_SCROLLLOCK, KEY_PAUSE,                                           // 13-15
    KEY_GRAVE, KEY_1, KEY_2, KEY_3, KEY_4, KEY_5, KEY_6, KEY_7, KEY_8, KEY_9, KEY_0,  // 16-26
    KEY_MINUS, KEY_EQUAL, KEY_BACKSPACE, KEY_INSERT, KEY_HOME,                      // 27-31
    KEY_PAGEUP, KEY_NUMLOCK, KEY_KPSLASH, KEY_KPASTERISK, KEY_KPMINUS,              // 32-36
    KEY_TAB, KEY_Q, KEY_W, KEY_E, KEY_R, KEY_T, KEY_Y, KEY_U, KEY_I, KEY_O, KEY_P,  // 37-47
    KEY_LEFTBRACE, KEY_RIGHTBRACE, KEY_BACKSLASH, KEY_DELETE, KEY_END, KEY_PAGEDOWN,  // 48-53
    KEY_KP7, KEY_KP8, KEY_KP9, KEY_KPPLUS,                                          // 54-57
    KEY_CAPSLOCK, KEY_A, KEY_S, KEY_D, KEY_F, KEY_G, KEY_H, KEY_J, KEY_K, KEY_L,    // 58-67
    KEY_SEMICOLON, KEY_APOSTROPHE,                                                  // 68-69
    KEY_ENTER,                                                                      // 70
    KEY_KP4, KEY_KP5, KEY_KP6,                                                      // 71-73
    KEY_LEFTSHIFT,                                                                  // 74
    KEY_Z, KEY_X, KEY_C, KEY_V, KEY_B, KEY_N, KEY_M, KEY_COMMA, KEY_DOT, KEY_SLASH,  // 75-84
    KEY_RIGHTSHIFT,                                                                 // 85
    KEY_UP,                                                                         // 86
    KEY_KP1, KEY_KP2, KEY_KP3, KEY_KPENTER,                                         // 87-90
    KEY_LEFTCTRL, KEY_LEFTMETA, KEY_LEFTALT,                                        // 91-93
    KEY_SPACE,                                                                      // 94
    KEY_RIGHTALT,                                                                   // 95
    0, KEY_COMPOSE,                                                                 // 96 Fn, 97 Apps
    KEY_RIGHTCTRL, KEY_LEFT, KEY_DOWN, KEY_RIGHT,                                   // 98-101
    KEY_KP0,                                                                        // 102
    KEY_KPDOT,                                                                      // 103
};
// clang-format on

}  // namespace zr417::test
