// The simulator's devices: keyboards of the three identities that keep their
// memory in a file per user, go into an emulated bootloader when told to,
// and come back from it running the firmware that was burned.
#pragma once

#include "device/emu/bootloader_emulator.h"
#include "device/emu/keyboard_emulator.h"
#include "platform/sim_wire.h"
#include "sim/device_host.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace zr417::sim {

// Where a firmware image carries its version: the 12 bytes of the version
// file (VER.bin, VER_420.bin) at image offset 0x40, "VER: M.m" with the major
// and minor digits at characters 5 and 7. nullopt when the image has no such
// record (a keyboard then keeps the version it had).
constexpr std::size_t kImageVersionOffset = 0x40;
constexpr std::size_t kImageVersionLength = 12;
std::optional<std::pair<std::uint8_t, std::uint8_t>> FirmwareVersionInImage(std::span<const std::uint8_t> image);

class Simulator {
public:
    // Each device keeps a memory file (and in uhid mode a kernel device):
    // enough for the update tool's 16 slots twice over, and no more.
    static constexpr std::size_t kMaxDevices = 32;

    // `stateDir`: where keyboards keep their memory ("sim-QV310.bin", a
    // second QV310 "sim-QV310-2.bin" ...); empty keeps nothing.
    Simulator(DeviceHost& host, std::filesystem::path stateDir);
    ~Simulator();  // writes every keyboard's memory

    struct Result {
        bool ok = false;
        std::string message;  // for the user, one line
        std::uint32_t id = 0;
    };

    // Plugs a keyboard of `model` (QV310, QV420, OEM): the lowest-numbered
    // unplugged one of that model, else a new one while there are fewer than
    // kMaxDevices.
    Result plug(const std::string& model);
    // Unplugs device `id` now (afterReports 0), or once it has served that
    // many more feature reports.
    Result unplug(std::uint32_t id, int afterReports = 0);
    // Unplugs (if plugged) and plugs again. A bootloader whose burn finished
    // comes back as the keyboard running the burned firmware; one that was
    // erased but never finished stays a bootloader; one never erased comes
    // back as the keyboard with its old firmware.
    Result replug(std::uint32_t id);
    // The key at matrix position `matrixPos` is pressed on keyboard `id`.
    Result press(std::uint32_t id, int matrixPos);
    Result setVersion(std::uint32_t id, std::uint8_t major, std::uint8_t minor);
    std::vector<simwire::UnitInfo> list() const;

    // Writes the memory of every keyboard that changed.
    void flush();

private:
    struct Unit;
    std::shared_ptr<Unit> find(std::uint32_t id) const;
    void plugUnit(Unit& unit);
    bool pluggedLocked(const Unit& unit) const;
    static std::string Describe(const Unit& unit);

    DeviceHost& host_;
    std::filesystem::path stateDir_;
    mutable std::mutex mutex_;  // the unit list; never held while a device is called
    std::vector<std::shared_ptr<Unit>> units_;
    std::uint32_t nextId_ = 1;
};

}  // namespace zr417::sim
