// Chooses the HID bus a program talks to: the system's (hidraw), the devices
// of the zr417-sim process when ZR417_SIM is set (1: its default socket, or a
// socket path), or a simulated keyboard in-process when ZR417_SIMULATE names a
// model (QV310, QV420, OEM).
#pragma once

#include "device/hid.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace zr417 {

// Where a simulated keyboard keeps its memory between runs:
// $XDG_STATE_HOME/zr417/sim-<MODEL>.bin, else ~/.local/state/zr417/... of
// the account's home, else in the user's private runtime folder; empty when
// there is none of them (the memory then lasts for the run only).
std::filesystem::path SimulatorStateFile(const std::string& model);

// The bus for ZR417_SIM, else ZR417_SIMULATE as given (both unset or empty:
// the real one).
// nullptr with `error` set when the value names no model.
std::unique_ptr<hid::Bus> CreateHidBus(std::string* error = nullptr);
// The same with the simulation chosen by the caller (zr417ctl --simulate);
// an empty model means the real bus.
std::unique_ptr<hid::Bus> CreateHidBus(const std::string& simulateModel, std::string* error);

// An in-process bus with one keyboard of `model` plugged in, its memory kept
// in SimulatorStateFile(model) (written when the bus is destroyed).
std::unique_ptr<hid::Bus> CreateSimulatedBus(const std::string& model, std::string* error);

// Extension point for the simulator process: when set, a simulated model is
// served by this provider (e.g. a client of zr417-sim's socket) instead of
// the in-process emulator; it returns nullptr to fall back to it.
using SimulatorBusProvider = std::function<std::unique_ptr<hid::Bus>(const std::string& model)>;
void SetSimulatorBusProvider(SimulatorBusProvider provider);

}  // namespace zr417
