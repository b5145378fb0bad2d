#include "sim/simulator.h"

#include "app/main_logic.h"
#include "device/identities.h"

#include <algorithm>
#include <cstdio>

namespace zr417::sim {

std::optional<std::pair<std::uint8_t, std::uint8_t>> FirmwareVersionInImage(std::span<const std::uint8_t> image)
{
    if (image.size() < kImageVersionOffset + kImageVersionLength) return std::nullopt;
    auto record = image.subspan(kImageVersionOffset, kImageVersionLength);
    if (!std::equal(record.begin(), record.begin() + 4, "VER:")) return std::nullopt;
    FirmwareVersion v = ParseVersionFile(record);
    if (v.major == 0 && v.minor == 0) return std::nullopt;
    return std::pair{v.major, v.minor};
}

struct Simulator::Unit {
    std::uint32_t id = 0;
    KeyboardIdentity identity{};
    std::shared_ptr<emu::KeyboardEmulator> keyboard;
    int burns = 0;  // finished burns that came back as firmware
    std::string note;

    // Set by the keyboard (on the thread that sent it the bootloader-entry
    // report) and read by the simulator: its own lock.
    mutable std::mutex handOver;
    std::shared_ptr<emu::BootloaderEmulator> bootloader;

    std::shared_ptr<emu::BootloaderEmulator> currentBootloader() const
    {
        std::lock_guard lock(handOver);
        return bootloader;
    }
    const emu::EmulatedDevice* current() const
    {
        auto b = currentBootloader();
        return b ? static_cast<const emu::EmulatedDevice*>(b.get()) : keyboard.get();
    }
};

Simulator::Simulator(DeviceHost& host, std::filesystem::path stateDir) : host_(host), stateDir_(std::move(stateDir)) {}

Simulator::~Simulator()
{
    flush();
}

std::shared_ptr<Simulator::Unit> Simulator::find(std::uint32_t id) const
{
    std::lock_guard lock(mutex_);
    for (const auto& u : units_)
        if (u->id == id) return u;
    return nullptr;
}

bool Simulator::pluggedLocked(const Unit& unit) const
{
    return host_.portOf(unit.current()) != 0;
}

std::string Simulator::Describe(const Unit& unit)
{
    return "device " + std::to_string(unit.id) + " (" + std::string(unit.identity.name) +
           (unit.currentBootloader() ? " bootloader" : " keyboard") + ")";
}

Simulator::Result Simulator::plug(const std::string& model)
{
    auto identity = FindKeyboardIdentity(model);
    if (!identity) return {false, "unknown keyboard model \"" + model + "\" (QV310, QV420 or OEM)"};
    std::shared_ptr<Unit> unit;
    {
        std::lock_guard lock(mutex_);
        int sameModel = 0;
        for (const auto& u : units_) {
            if (u->identity.model != identity->model) continue;
            ++sameModel;
            if (!unit && !pluggedLocked(*u)) unit = u;
        }
        if (!unit && units_.size() >= kMaxDevices)
            return {false, "the simulator already has " + std::to_string(kMaxDevices) +
                               " devices: unplugged ones come back with zr417ctl sim plug or replug"};
        if (!unit) {
            unit = std::make_shared<Unit>();
            unit->id = nextId_++;
            unit->identity = *identity;
            unit->keyboard = std::make_shared<emu::KeyboardEmulator>(*identity);
            if (!stateDir_.empty()) {
                // Appended, not "..." + string: GCC 12 warns falsely on that at -O3.
                std::string name = std::string("sim-").append(identity->name);
                if (sameModel > 0) name.append("-").append(std::to_string(sameModel + 1));
                unit->keyboard->persistTo(stateDir_ / (name + ".bin"));
            }
            std::weak_ptr<Unit> weak = unit;
            unit->keyboard->setBootloaderFactory([weak]() -> std::shared_ptr<emu::EmulatedDevice> {
                auto u = weak.lock();
                if (!u) return nullptr;
                auto bootloader = std::make_shared<emu::BootloaderEmulator>();
                std::lock_guard lock(u->handOver);
                u->bootloader = bootloader;
                return bootloader;
            });
            units_.push_back(unit);
        }
    }
    plugUnit(*unit);
    return {true, "plugged " + Describe(*unit), unit->id};
}

void Simulator::plugUnit(Unit& unit)
{
    if (auto bootloader = unit.currentBootloader()) {
        if (bootloader->eraseCount() == 0) {
            // Nothing was burned: the keyboard starts its old firmware.
            std::lock_guard lock(unit.handOver);
            unit.bootloader = nullptr;
        } else if (bootloader->finishCount() > 0) {
            // The burn finished: the keyboard runs what was flashed.
            auto image = bootloader->image();
            if (auto v = FirmwareVersionInImage(image)) {
                unit.keyboard->setFirmwareVersion(v->first, v->second);
                unit.note.clear();
            } else {
                unit.note = "the burned image has no version record; firmware version kept";
                std::fprintf(stderr, "zr417-sim: device %u: %s\n", unit.id, unit.note.c_str());
            }
            ++unit.burns;
            std::lock_guard lock(unit.handOver);
            unit.bootloader = nullptr;
        }
        // Erased and never finished: no firmware to start, it stays a bootloader.
    }
    if (auto bootloader = unit.currentBootloader())
        host_.attach(bootloader);
    else
        host_.attach(unit.keyboard);
}

Simulator::Result Simulator::unplug(std::uint32_t id, int afterReports)
{
    auto unit = find(id);
    if (!unit) return {false, "no device " + std::to_string(id)};
    int port = host_.portOf(unit->current());
    if (port == 0) return {false, Describe(*unit) + " is not plugged in", id};
    if (afterReports > 0) {
        host_.detachAfterReports(port, afterReports);
        return {true, Describe(*unit) + " will be unplugged after " + std::to_string(afterReports) + " report(s)", id};
    }
    host_.detach(port);
    unit->keyboard->flush();
    return {true, "unplugged " + Describe(*unit), id};
}

Simulator::Result Simulator::replug(std::uint32_t id)
{
    auto unit = find(id);
    if (!unit) return {false, "no device " + std::to_string(id)};
    if (int port = host_.portOf(unit->current())) host_.detach(port);
    unit->keyboard->flush();
    plugUnit(*unit);
    return {true, "re-plugged " + Describe(*unit), id};
}

Simulator::Result Simulator::press(std::uint32_t id, int matrixPos)
{
    auto unit = find(id);
    if (!unit) return {false, "no device " + std::to_string(id)};
    if (unit->currentBootloader() || host_.portOf(unit->keyboard.get()) == 0)
        return {false, Describe(*unit) + " is not a plugged-in keyboard", id};
    if (!unit->keyboard->pressKey(matrixPos))
        return {false,
                "the key at matrix position " + std::to_string(matrixPos) +
                    " holds no host action: the keyboard reports nothing",
                id};
    return {true, Describe(*unit) + " reported the key at matrix position " + std::to_string(matrixPos), id};
}

Simulator::Result Simulator::setVersion(std::uint32_t id, std::uint8_t major, std::uint8_t minor)
{
    auto unit = find(id);
    if (!unit) return {false, "no device " + std::to_string(id)};
    unit->keyboard->setFirmwareVersion(major, minor);
    unit->keyboard->flush();
    return {true, Describe(*unit) + " now reports firmware " + std::to_string(major) + "." + std::to_string(minor), id};
}

std::vector<simwire::UnitInfo> Simulator::list() const
{
    std::vector<std::shared_ptr<Unit>> units;
    {
        std::lock_guard lock(mutex_);
        units = units_;
    }
    std::vector<simwire::UnitInfo> result;
    for (const auto& u : units) {
        simwire::UnitInfo info;
        info.id = u->id;
        info.model = std::string(u->identity.name);
        auto bootloader = u->currentBootloader();
        info.bootloader = bootloader != nullptr;
        info.plugged = host_.portOf(u->current()) != 0;
        auto memory = u->keyboard->memory();
        info.fwMajor = memory.fwMajor;
        info.fwMinor = memory.fwMinor;
        info.vendorId = bootloader ? bootloader->vendorId() : u->keyboard->vendorId();
        info.productId = bootloader ? bootloader->productId() : u->keyboard->productId();
        info.note = u->note;
        if (bootloader) {
            std::string state = bootloader->finishCount() > 0  ? "burn finished: re-plug to run it"
                                : bootloader->eraseCount() > 0 ? "erased, not finished"
                                                               : "waiting for a burn";
            info.note = info.note.empty() ? state : state + "; " + info.note;
        } else if (u->burns > 0 && info.note.empty()) {
            info.note = "burned " + std::to_string(u->burns) + " time(s)";
        }
        result.push_back(std::move(info));
    }
    return result;
}

void Simulator::flush()
{
    std::vector<std::shared_ptr<Unit>> units;
    {
        std::lock_guard lock(mutex_);
        units = units_;
    }
    for (const auto& u : units) u->keyboard->flush();
}

}  // namespace zr417::sim
