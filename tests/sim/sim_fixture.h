// A simulator served on a socket in a temporary folder, on a thread of the
// test, with helpers to talk to it the way the programs and zr417ctl do.
#pragma once

#include "platform/sim_client_bus.h"
#include "sim/device_host.h"
#include "sim/sim_server.h"
#include "sim/simulator.h"
#include "tests/support/process.h"

#include <gtest/gtest.h>
#include <poll.h>

#include <memory>
#include <thread>

namespace zr417::simtest {

using namespace std::chrono_literals;

// Waits for the bus's event descriptor and gathers events until `count` have
// come or 5 s have passed.
inline std::vector<hid::PlugEvent> WaitEvents(hid::Bus& bus, std::size_t count)
{
    std::vector<hid::PlugEvent> all;
    auto end = std::chrono::steady_clock::now() + 5s;
    while (all.size() < count && std::chrono::steady_clock::now() < end) {
        pollfd p{bus.eventFd(), POLLIN, 0};
        if (::poll(&p, 1, 100) > 0) {
            auto more = bus.drainEvents();
            all.insert(all.end(), more.begin(), more.end());
        }
    }
    return all;
}

class SimFixture : public ::testing::Test {
protected:
    void SetUp() override { start(); }
    void TearDown() override { stop(); }

    void start()
    {
        host_ = std::make_unique<sim::EmulatedBusHost>();
        simulator_ = std::make_unique<sim::Simulator>(*host_, dir_.path() / "state");
        server_ = std::make_unique<sim::SimServer>(*host_, *simulator_);
        std::string error;
        ASSERT_TRUE(server_->listen(socket(), &error)) << error;
        thread_ = std::thread([this] { server_->run(); });
    }
    void stop()
    {
        if (!server_) return;
        server_->stop();
        thread_.join();
        server_.reset();
        simulator_.reset();
        host_.reset();
    }

    std::filesystem::path socket() const { return dir_.path() / "sim.sock"; }

    // A control request, as zr417ctl sim sends it.
    simwire::Message control(simwire::Op op, std::uint32_t id = 0, std::uint32_t value = 0, std::string text = {})
    {
        simwire::SimConnection connection(socket(), false);
        simwire::Message m;
        m.op = op;
        m.handle = id;
        m.value = value;
        m.text = std::move(text);
        auto reply = connection.request(std::move(m));
        EXPECT_TRUE(reply.has_value());
        return reply.value_or(simwire::Message{});
    }
    std::uint32_t plug(const std::string& model)
    {
        auto reply = control(simwire::Op::Plug, 0, 0, model);
        EXPECT_EQ(reply.status, simwire::Status::Ok) << reply.text;
        return reply.handle;
    }

    test::TempDir dir_;
    std::unique_ptr<sim::EmulatedBusHost> host_;
    std::unique_ptr<sim::Simulator> simulator_;
    std::unique_ptr<sim::SimServer> server_;
    std::thread thread_;
};

// The path of the first collection of `bus` whose path holds `tag`
// (case-insensitive, as the programs search).
inline std::string FindPath(hid::Bus& bus, std::string tag, std::uint16_t vid = 0)
{
    for (auto& c : tag) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const auto& info : bus.enumerate()) {
        std::string upper = info.path;
        for (auto& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (upper.find(tag) != std::string::npos && (vid == 0 || info.vendorId == vid)) return info.path;
    }
    return {};
}

}  // namespace zr417::simtest
