// A keyboard emulator on an emulated bus, with a device link and protocol
// over it whose pauses are only counted.
#pragma once

#include "config/image.h"
#include "device/device_link.h"
#include "device/emu/emulated_bus.h"
#include "device/emu/keyboard_emulator.h"
#include "device/protocol.h"

#include <atomic>
#include <memory>
#include <random>

namespace zr417::testing {

inline KeyboardIdentity Identity(std::string_view name)
{
    return *FindKeyboardIdentity(name);
}

struct EmulatedKeyboard {
    explicit EmulatedKeyboard(std::string_view model = "QV420")
        : keyboard(std::make_shared<emu::KeyboardEmulator>(Identity(model)))
    {
        port = bus.plug(keyboard);
        bus.drainEvents();
    }

    emu::EmulatedBus bus;
    std::shared_ptr<emu::KeyboardEmulator> keyboard;
    int port = 0;
};

struct LinkFixture : EmulatedKeyboard {
    explicit LinkFixture(std::string_view model = "QV420") : EmulatedKeyboard(model) {}

    PauseFn countingPause()
    {
        return [this](std::chrono::milliseconds d) {
            pausedMs += d.count();
            ++pauses;
            if (!bus.device(port)) ++pausesWhileUnplugged;
        };
    }

    std::atomic<long> pausedMs{0};
    std::atomic<int> pauses{0};
    std::atomic<int> pausesWhileUnplugged{0};
    int arrivals = 0;
    std::vector<int> refreshes;
    ConfigImage image;
    DeviceLink link{bus, DeviceLink::Events{[this] { ++arrivals; }, {}, {}}, countingPause()};
    KeyboardProtocol protocol{link, image, countingPause(), [this](int l) { refreshes.push_back(l); }};
};

// Fills a byte range with reproducible noise.
inline void Noise(std::uint8_t* p, std::size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    for (std::size_t i = 0; i < n; ++i) p[i] = static_cast<std::uint8_t>(rng());
}

}  // namespace zr417::testing
