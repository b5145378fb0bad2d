#include "platform/hid_bus_factory.h"

#include "device/emu/emulated_bus.h"
#include "device/emu/keyboard_emulator.h"
#include "device/identities.h"
#include "platform/files.h"
#include "platform/hidraw_bus.h"
#include "platform/sim_client_bus.h"
#include "platform/user_runtime.h"

#include <unistd.h>

#include <cstdlib>
#include <mutex>

namespace zr417 {
namespace {

std::mutex g_providerMutex;
SimulatorBusProvider g_provider;

// The emulated bus and its keyboard; the keyboard's memory is written to its
// file when the bus goes.
class SimulatedBus : public emu::EmulatedBus {
public:
    explicit SimulatedBus(std::shared_ptr<emu::KeyboardEmulator> keyboard) : keyboard_(std::move(keyboard))
    {
        plug(keyboard_);
        drainEvents();  // the keyboard was there before the program started
    }
    ~SimulatedBus() override { keyboard_->flush(); }

private:
    std::shared_ptr<emu::KeyboardEmulator> keyboard_;
};

}  // namespace

std::filesystem::path SimulatorStateFile(const std::string& model)
{
    // Never a folder other users share: whoever made it first would own the
    // keyboard's memory. Without a home, the user's private runtime folder.
    std::filesystem::path base;
    if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state == '/')
        base = state;
    else if (auto home = AccountHome())
        base = *home / ".local" / "state";
    else if (auto runtime = UserRuntimeFolder({::getuid(), ::getgid()}, /*prepare=*/true, nullptr))
        base = *runtime;
    else
        return {};
    return base / "zr417" / ("sim-" + model + ".bin");
}

void SetSimulatorBusProvider(SimulatorBusProvider provider)
{
    std::lock_guard lock(g_providerMutex);
    g_provider = std::move(provider);
}

std::unique_ptr<hid::Bus> CreateSimulatedBus(const std::string& model, std::string* error)
{
    auto identity = FindKeyboardIdentity(model);
    if (!identity) {
        if (error) *error = "unknown keyboard model \"" + model + "\" (QV310, QV420 or OEM)";
        return nullptr;
    }
    std::string name(identity->name);
    {
        std::lock_guard lock(g_providerMutex);
        if (g_provider)
            if (auto bus = g_provider(name)) return bus;
    }
    auto keyboard = std::make_shared<emu::KeyboardEmulator>(*identity);
    if (auto file = SimulatorStateFile(name); !file.empty()) keyboard->persistTo(file);
    return std::make_unique<SimulatedBus>(std::move(keyboard));
}

std::unique_ptr<hid::Bus> CreateHidBus(const std::string& simulateModel, std::string* error)
{
    if (simulateModel.empty()) return std::make_unique<hidraw::HidrawBus>();
    return CreateSimulatedBus(simulateModel, error);
}

std::unique_ptr<hid::Bus> CreateHidBus(std::string* error)
{
    // ZR417_SIM: the devices of the zr417-sim process, shared by every program.
    if (auto socket = simwire::SocketFromEnvironment()) return simwire::ConnectSimulatorBus(*socket);
    const char* simulate = std::getenv("ZR417_SIMULATE");
    return CreateHidBus(simulate ? simulate : "", error);
}

}  // namespace zr417
