// The simulator over its socket: what several programs see at once, plug and
// input forwarding, unplugs in the middle of a transfer, the simulator going
// away and coming back, the bootloader hand-over and burn, and the memory
// kept between runs.
#include "sim_fixture.h"

#include "app/main_logic.h"
#include "config/keys.h"
#include "device/identities.h"
#include "platform/files.h"
#include "updater/flashing.h"
#include "updater/hex_image.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace zr417::simtest {
namespace {

using simwire::Op;
using simwire::Status;

std::array<std::uint8_t, 8> Command(std::uint8_t code, std::uint8_t a = 0, std::uint8_t b = 0)
{
    return {kCommandReportId, code, a, b, 0, 0, 0, 0};
}

// The firmware version the keyboard's status reply carries.
std::pair<int, int> ReadVersion(hid::Device& command)
{
    auto status = Command(0x51, 7);
    EXPECT_TRUE(command.setFeature(status.data(), status.size()));
    std::array<std::uint8_t, 8> reply{kCommandReportId};
    EXPECT_TRUE(command.getFeature(reply.data(), reply.size()));
    return {reply[4], reply[5]};
}

std::filesystem::path SourceDir()
{
    const char* dir = std::getenv("ZR417_SOURCE_DIR");
    return dir ? std::filesystem::path(dir) : std::filesystem::current_path();
}

TEST(SimWire, EveryFieldSurvivesTheTripAndCutMessagesAreRefused)
{
    simwire::Message m;
    m.op = Op::Reply;
    m.status = Status::Disconnected;
    m.seq = 0xDEADBEEF;
    m.handle = 7;
    m.value = 0x0109;
    m.text = "emu:/port1/hid#vid_1c4f&pid_5dc4&mi_01&col03";
    m.bytes = {4, 0, 255, 1};
    hid::CollectionInfo c;
    c.path = "p";
    c.vendorId = 0x260D;
    c.productId = 0x0015;
    c.interfaceNumber = -1;
    c.collectionNumber = 7;
    c.usagePage = 0xFF00;
    c.usage = 7;
    c.reports = {{7, 0, 34, 0}, {3, 8, 0, 0}};
    m.collections = {c, c};
    m.units = {{3, "QV420", true, false, 2, 5, 0x0603, 0x1020, "erased"}};

    auto bytes = simwire::Encode(m);
    auto back = simwire::Decode(bytes.data(), bytes.size());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->op, m.op);
    EXPECT_EQ(back->status, m.status);
    EXPECT_EQ(back->seq, m.seq);
    EXPECT_EQ(back->handle, m.handle);
    EXPECT_EQ(back->value, m.value);
    EXPECT_EQ(back->text, m.text);
    EXPECT_EQ(back->bytes, m.bytes);
    ASSERT_EQ(back->collections.size(), 2u);
    EXPECT_EQ(back->collections[1].interfaceNumber, -1);
    EXPECT_EQ(back->collections[1].reports[0].inputLength, 34);
    EXPECT_EQ(back->collections[1].reports[1].featureLength, 8);
    ASSERT_EQ(back->units.size(), 1u);
    EXPECT_TRUE(back->units[0].bootloader);
    EXPECT_FALSE(back->units[0].plugged);
    EXPECT_EQ(back->units[0].note, "erased");
    EXPECT_EQ(back->units[0].productId, 0x1020);

    for (std::size_t cut = 0; cut < bytes.size(); ++cut)
        EXPECT_FALSE(simwire::Decode(bytes.data(), cut)) << "cut at " << cut;
    bytes.push_back(0);
    EXPECT_FALSE(simwire::Decode(bytes.data(), bytes.size())) << "a trailing byte";
    // A length field that claims more than there is.
    std::vector<std::uint8_t> lying = simwire::Encode(simwire::Message{});
    lying[14] = 0xFF;  // text length, low byte
    EXPECT_FALSE(simwire::Decode(lying.data(), lying.size()));
}

TEST(SimWire, TheSettingNamesTheSocket)
{
    EXPECT_FALSE(simwire::SocketFromSetting(nullptr));
    EXPECT_FALSE(simwire::SocketFromSetting(""));
    EXPECT_FALSE(simwire::SocketFromSetting("0"));
    EXPECT_EQ(simwire::SocketFromSetting("1"), simwire::DefaultSocketPath());
    EXPECT_EQ(simwire::SocketFromSetting("/run/x/sim.sock"), std::filesystem::path("/run/x/sim.sock"));
    EXPECT_EQ(simwire::SocketFromSetting("./sim.sock"), std::filesystem::path("./sim.sock"));
}

TEST(FirmwareVersionInImage, ReadsTheVersionRecordOnly)
{
    std::vector<std::uint8_t> image(0x100, 0xFF);
    EXPECT_FALSE(sim::FirmwareVersionInImage(image)) << "no record";
    const char record[] = "VER: 2.7  \r\n";
    std::copy_n(record, 12, image.begin() + sim::kImageVersionOffset);
    auto v = sim::FirmwareVersionInImage(image);
    ASSERT_TRUE(v);
    EXPECT_EQ(v->first, 2);
    EXPECT_EQ(v->second, 7);
    image[sim::kImageVersionOffset + 5] = 'x';
    EXPECT_FALSE(sim::FirmwareVersionInImage(image)) << "not a digit";
    EXPECT_FALSE(sim::FirmwareVersionInImage(std::span(image).first(sim::kImageVersionOffset + 11))) << "cut short";
}

// The sample firmware the update tool ships and the version files beside the
// main program must agree, or the program would offer the update forever.
TEST(FirmwareVersionInImage, SampleFirmwareMatchesTheVersionFiles)
{
    std::vector<std::uint8_t> image(0xF000, 0xFF);
    std::size_t length = 0;
    auto text = ReadFileBytes(SourceDir() / "updater/runtime/sample_firmware.hex");
    ASSERT_TRUE(text);
    ASSERT_EQ(updater::ParseHexImage(*text, length, image.data()), updater::kHexOk);
    image.resize(length);
    auto inImage = sim::FirmwareVersionInImage(image);
    ASSERT_TRUE(inImage);
    for (const char* name : {"VER.bin", "VER_420.bin"}) {
        auto file = ReadFileBytes(SourceDir() / "packaging/runtime" / name);
        ASSERT_TRUE(file) << name;
        ASSERT_EQ(file->size(), 12u) << name;
        FirmwareVersion v = ParseVersionFile(*file);
        EXPECT_EQ(v.major, inImage->first) << name;
        EXPECT_EQ(v.minor, inImage->second) << name;
        EXPECT_TRUE(std::equal(file->begin(), file->end(), image.begin() + sim::kImageVersionOffset)) << name;
    }
}

using SimBus = SimFixture;

TEST_F(SimBus, TwoProgramsShareOneKeyboard)
{
    plug("QV420");
    auto a = simwire::ConnectSimulatorBus(socket());
    auto b = simwire::ConnectSimulatorBus(socket());
    auto devices = a->enumerate();
    ASSERT_EQ(devices.size(), 4u);
    EXPECT_EQ(devices[0].vendorId, 0x260D);
    EXPECT_EQ(devices[3].inputReportLength(), kInputReportLength);

    auto writer = a->open(FindPath(*a, std::string(kTagCommand)));
    auto reader = b->open(FindPath(*b, std::string(kTagCommand)));
    ASSERT_TRUE(writer && reader);
    std::array<std::uint8_t, 8> group{kCommandReportId, 0x53, 5, 9, 8, 7, 6, 0};
    ASSERT_TRUE(writer->setFeature(group.data(), group.size()));
    auto ask = Command(0x51, 5);
    ASSERT_TRUE(reader->setFeature(ask.data(), ask.size()));
    std::array<std::uint8_t, 8> reply{kCommandReportId};
    ASSERT_TRUE(reader->getFeature(reply.data(), reply.size()));
    EXPECT_EQ(reply, group);

    // A report of the wrong length is refused and leaves the buffer alone.
    std::array<std::uint8_t, 7> shortReply{kCommandReportId, 1, 2, 3, 4, 5, 6};
    EXPECT_FALSE(reader->getFeature(shortReply.data(), shortReply.size()));
    EXPECT_EQ(shortReply[1], 1);
    EXPECT_EQ(b->open("emu:/nothing"), nullptr);
}

TEST_F(SimBus, PlugAndUnplugReachEveryClient)
{
    auto a = simwire::ConnectSimulatorBus(socket());
    auto b = simwire::ConnectSimulatorBus(socket());
    EXPECT_TRUE(a->enumerate().empty());
    std::uint32_t id = plug("QV310");
    auto arrivals = WaitEvents(*a, 4);
    ASSERT_EQ(arrivals.size(), 4u);
    EXPECT_EQ(WaitEvents(*b, 4).size(), 4u);
    auto present = a->enumerate();
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(arrivals[i].kind, hid::PlugEvent::Kind::Arrival);
        EXPECT_EQ(arrivals[i].path, present[i].path);
    }

    auto input = a->open(FindPath(*a, std::string(kTagInput)));
    ASSERT_TRUE(input);
    EXPECT_EQ(control(Op::Unplug, id).status, Status::Ok);
    auto removals = WaitEvents(*a, 4);
    ASSERT_EQ(removals.size(), 4u);
    EXPECT_EQ(removals[0].kind, hid::PlugEvent::Kind::Removal);
    std::array<std::uint8_t, 64> buffer{};
    std::size_t got = 0;
    EXPECT_EQ(input->readInput(buffer.data(), buffer.size(), 2s, &got), hid::ReadStatus::Disconnected);
    EXPECT_FALSE(input->connected());

    EXPECT_EQ(control(Op::Unplug, id).status, Status::Failed) << "already unplugged";
    EXPECT_EQ(control(Op::Unplug, 99).status, Status::Failed) << "no such device";
    EXPECT_EQ(control(Op::Plug, 0, 0, "QV999").status, Status::Failed);
    // Plugging the model again brings the same keyboard back.
    EXPECT_EQ(plug("qv310"), id);
    EXPECT_EQ(WaitEvents(*a, 4).size(), 4u);
}

TEST_F(SimBus, HostActionKeyIsReportedOnTheInputCollection)
{
    std::uint32_t id = plug("QV310");
    auto bus = simwire::ConnectSimulatorBus(socket());
    auto matrix = bus->open(FindPath(*bus, std::string(kTagMatrix)));
    auto input = bus->open(FindPath(*bus, std::string(kTagInput)));
    ASSERT_TRUE(matrix && input);

    constexpr int key = 5;  // F5 on the picture
    const int pos = g_matrixPosByKey[key];
    EXPECT_EQ(control(Op::Press, id, static_cast<std::uint32_t>(pos)).status, Status::Failed)
        << "a key sending its own code reports nothing";

    std::vector<std::uint8_t> report(kMatrixReportLength, 0);
    report[0] = kMatrixReportId;
    ASSERT_TRUE(matrix->getFeature(report.data(), report.size()));
    report[1 + pos] = 0xFA;
    ASSERT_TRUE(matrix->setFeature(report.data(), report.size()));
    EXPECT_EQ(control(Op::Press, id, static_cast<std::uint32_t>(pos)).status, Status::Ok);

    std::array<std::uint8_t, 64> buffer{};
    std::size_t got = 0;
    ASSERT_EQ(input->readInput(buffer.data(), buffer.size(), 5s, &got), hid::ReadStatus::Ok);
    EXPECT_EQ(got, kInputReportLength);
    EXPECT_EQ(buffer[0], kInputReportId);
    auto bit = emu::KeyboardEmulator::InputBitForCode(KeyCode(g_defaultVkByKey[key]));
    ASSERT_TRUE(bit);
    EXPECT_EQ(buffer[bit->first], 1u << bit->second);
    ASSERT_EQ(input->readInput(buffer.data(), buffer.size(), 5s, &got), hid::ReadStatus::Ok);
    EXPECT_TRUE(std::all_of(buffer.begin() + 1, buffer.begin() + kInputReportLength, [](auto b) { return b == 0; }))
        << "then the release";

    // interruptRead wakes a waiting reader at once.
    std::thread t([&] {
        std::this_thread::sleep_for(50ms);
        input->interruptRead();
    });
    EXPECT_EQ(input->readInput(buffer.data(), buffer.size(), 10s, &got), hid::ReadStatus::Interrupted);
    t.join();
}

TEST_F(SimBus, UnplugInTheMiddleOfATransferFailsTheRestAndKeepsTheMemory)
{
    std::uint32_t id = plug("QV420");
    auto bus = simwire::ConnectSimulatorBus(socket());
    auto command = bus->open(FindPath(*bus, std::string(kTagCommand)));
    ASSERT_TRUE(command);
    ASSERT_EQ(control(Op::Unplug, id, 3).status, Status::Ok);
    std::array<std::uint8_t, 8> group{kCommandReportId, 0x53, 9, 1, 2, 3, 4, 0};
    int accepted = 0;
    for (int i = 0; i < 6; ++i) accepted += command->setFeature(group.data(), group.size());
    EXPECT_EQ(accepted, 3);
    EXPECT_FALSE(command->connected());
    EXPECT_EQ(WaitEvents(*bus, 4).size(), 4u);

    ASSERT_EQ(control(Op::Replug, id).status, Status::Ok);
    EXPECT_EQ(WaitEvents(*bus, 4).size(), 4u);
    auto again = bus->open(FindPath(*bus, std::string(kTagCommand)));
    ASSERT_TRUE(again);
    auto ask = Command(0x51, 9);
    ASSERT_TRUE(again->setFeature(ask.data(), ask.size()));
    std::array<std::uint8_t, 8> reply{kCommandReportId};
    ASSERT_TRUE(again->getFeature(reply.data(), reply.size()));
    EXPECT_EQ(reply, group) << "what was written before the unplug stays";
    EXPECT_FALSE(command->connected()) << "a handle from before the unplug stays dead";
}

TEST_F(SimBus, SimulatorGoingAwayFailsEverythingAtOnceAndItsReturnIsAnArrival)
{
    plug("QV310");
    auto bus = simwire::ConnectSimulatorBus(socket());
    auto command = bus->open(FindPath(*bus, std::string(kTagCommand)));
    auto input = bus->open(FindPath(*bus, std::string(kTagInput)));
    ASSERT_TRUE(command && input);

    std::atomic<int> readResult{-1};
    std::thread reader([&] {
        std::array<std::uint8_t, 64> buffer{};
        std::size_t got = 0;
        readResult = static_cast<int>(input->readInput(buffer.data(), buffer.size(), 60s, &got));
    });
    stop();
    reader.join();  // the 60 s wait ends with the connection
    EXPECT_EQ(readResult, static_cast<int>(hid::ReadStatus::Disconnected));
    auto status = Command(0x51, 7);
    EXPECT_FALSE(command->setFeature(status.data(), status.size()));
    EXPECT_FALSE(command->getFeature(status.data(), status.size()));
    EXPECT_FALSE(command->connected());
    EXPECT_TRUE(bus->enumerate().empty());
    EXPECT_EQ(bus->open("anything"), nullptr);
    auto removals = WaitEvents(*bus, 4);
    ASSERT_EQ(removals.size(), 4u);
    for (const auto& e : removals) EXPECT_EQ(e.kind, hid::PlugEvent::Kind::Removal);

    // The simulator starts again, with the keyboard plugged: the bus finds it.
    start();
    plug("QV310");
    auto arrivals = WaitEvents(*bus, 4);
    ASSERT_EQ(arrivals.size(), 4u);
    EXPECT_EQ(arrivals[0].kind, hid::PlugEvent::Kind::Arrival);
    auto fresh = bus->open(FindPath(*bus, std::string(kTagCommand)));
    ASSERT_TRUE(fresh);
    EXPECT_EQ(ReadVersion(*fresh), std::make_pair(1, 0));
    EXPECT_FALSE(command->connected()) << "handles of the old connection stay dead";
}

TEST_F(SimBus, ABusStartedBeforeTheSimulatorFindsItLater)
{
    stop();
    auto bus = simwire::ConnectSimulatorBus(socket());
    EXPECT_TRUE(bus->enumerate().empty());
    start();
    plug("OEM");
    auto arrivals = WaitEvents(*bus, 4);
    EXPECT_EQ(arrivals.size(), 4u);
    EXPECT_EQ(bus->enumerate().size(), 4u);
}

class FastHost : public updater::BurnHost {
public:
    bool IsStopRequested(int) override { return false; }
    updater::ProbeResult RecordedProbe(int) override { return {true, 8}; }
    int Language() override { return 0; }
    void Wait(std::chrono::milliseconds) override {}
};

class NullStatus : public updater::StatusControl {
public:
    void SetLine1(const std::string& text) override { line1 = text; }
    void SetLine2(const std::string&) override {}
    void SetColour(int) override {}
    void Redraw(bool) override {}
    std::string line1;
};

struct Bootloader {
    std::string data, command;
};

// Sends the keyboards the bootloader-entry report and waits for a bootloader.
Bootloader EnterBootloader(hid::Bus& bus, std::uint16_t vid, std::uint16_t pid)
{
    updater::FoundDevices found;
    updater::EnumerateDevices(bus, vid, pid, found);
    WaitEvents(bus, 6);  // four removals, two arrivals
    int n = updater::EnumerateDevices(bus, 0, 0, found);
    EXPECT_EQ(n, 1);
    return {found.data[0], found.command[0]};
}

TEST_F(SimBus, BurnedFirmwareRunsAfterAReplugWithTheVersionOfItsImage)
{
    std::uint32_t id = plug("QV420");
    ASSERT_EQ(control(Op::SetVersion, id, (0 << 8) | 9).status, Status::Ok);
    auto bus = simwire::ConnectSimulatorBus(socket());
    {
        auto command = bus->open(FindPath(*bus, std::string(kTagCommand)));
        ASSERT_TRUE(command);
        EXPECT_EQ(ReadVersion(*command), std::make_pair(0, 9));
    }
    Bootloader bl = EnterBootloader(*bus, 0x260D, 0x0015);
    ASSERT_FALSE(bl.data.empty());
    auto units = control(Op::List).units;
    ASSERT_EQ(units.size(), 1u);
    EXPECT_TRUE(units[0].bootloader);
    EXPECT_EQ(units[0].productId, 0x1020);

    std::vector<std::uint8_t> image(0x2000, 0x11);
    const char record[] = "VER: 3.4  \r\n";
    std::copy_n(record, 12, image.begin() + sim::kImageVersionOffset);
    auto imagePath = dir_.path() / "fw.bin";
    ASSERT_TRUE(WriteFileAtomic(imagePath, image));
    FastHost host;
    NullStatus status;
    updater::BurnJob job;
    job.dataPath = bl.data;
    job.commandPath = bl.command;
    job.slot = 0;
    job.statusControl = &status;
    job.imagePath = imagePath.string();
    job.serial = 5;
    ASSERT_EQ(updater::DoBurn(*bus, host, job), updater::BURN_OK) << status.line1;

    ASSERT_EQ(control(Op::Replug, id).status, Status::Ok);
    WaitEvents(*bus, 6);
    auto command = bus->open(FindPath(*bus, std::string(kTagCommand)));
    ASSERT_TRUE(command) << "the keyboard is back";
    EXPECT_EQ(ReadVersion(*command), std::make_pair(3, 4));
    units = control(Op::List).units;
    EXPECT_FALSE(units[0].bootloader);
    EXPECT_EQ(units[0].fwMajor, 3);
}

TEST_F(SimBus, ABootloaderComesBackAsItWasLeft)
{
    std::uint32_t id = plug("QV310");
    auto bus = simwire::ConnectSimulatorBus(socket());
    // Never erased: the keyboard starts its old firmware again.
    EnterBootloader(*bus, 0x1C4F, 0x5DC4);
    ASSERT_EQ(control(Op::Replug, id).status, Status::Ok);
    WaitEvents(*bus, 6);
    auto units = control(Op::List).units;
    EXPECT_FALSE(units[0].bootloader);
    EXPECT_EQ(units[0].fwMajor, 1);

    // Erased but never finished (unplugged during the burn): no firmware to
    // start, so it stays a bootloader until a burn finishes.
    Bootloader bl = EnterBootloader(*bus, 0x1C4F, 0x5DC4);
    auto command = bus->open(bl.command);
    ASSERT_TRUE(command);
    std::array<std::uint8_t, 6> erase{5, 0x45, 0x45, 0x45, 0x45, 0x45};
    ASSERT_TRUE(command->setFeature(erase.data(), erase.size()));
    ASSERT_EQ(control(Op::Replug, id).status, Status::Ok);
    units = control(Op::List).units;
    EXPECT_TRUE(units[0].bootloader);
    EXPECT_TRUE(units[0].plugged);
    EXPECT_EQ(control(Op::Press, id, 6).status, Status::Failed) << "a bootloader has no keys";
}

TEST_F(SimBus, KeyboardMemoryOutlivesTheSimulator)
{
    std::uint32_t id = plug("QV310");
    ASSERT_EQ(control(Op::SetVersion, id, (2 << 8) | 3).status, Status::Ok);
    {
        auto bus = simwire::ConnectSimulatorBus(socket());
        auto command = bus->open(FindPath(*bus, std::string(kTagCommand)));
        std::array<std::uint8_t, 8> group{kCommandReportId, 0x53, 4, 4, 3, 2, 1, 0};
        ASSERT_TRUE(command->setFeature(group.data(), group.size()));
    }
    // A second keyboard of the model keeps a memory of its own.
    std::uint32_t second = plug("QV310");
    EXPECT_NE(second, id);
    stop();
    EXPECT_TRUE(std::filesystem::exists(dir_.path() / "state" / "sim-QV310.bin"));
    EXPECT_TRUE(std::filesystem::exists(dir_.path() / "state" / "sim-QV310-2.bin"));

    start();
    plug("QV310");
    auto bus = simwire::ConnectSimulatorBus(socket());
    auto command = bus->open(FindPath(*bus, std::string(kTagCommand)));
    ASSERT_TRUE(command);
    EXPECT_EQ(ReadVersion(*command), std::make_pair(2, 3));
    auto ask = Command(0x51, 4);
    ASSERT_TRUE(command->setFeature(ask.data(), ask.size()));
    std::array<std::uint8_t, 8> reply{kCommandReportId};
    ASSERT_TRUE(command->getFeature(reply.data(), reply.size()));
    EXPECT_EQ(reply[3], 4);
}

TEST_F(SimBus, MalformedRequestsAreRefusedAndTheServerCarriesOn)
{
    plug("QV310");
    int fd = simwire::ConnectSocket(socket());
    ASSERT_GE(fd, 0);
    std::uint8_t junk[3] = {4, 0, 1};
    ASSERT_EQ(::send(fd, junk, sizeof junk, 0), 3);
    std::vector<std::uint8_t> buffer(simwire::kMaxMessage);
    ssize_t n = ::recv(fd, buffer.data(), buffer.size(), 0);
    ASSERT_GT(n, 0);
    auto reply = simwire::Decode(buffer.data(), static_cast<std::size_t>(n));
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->status, Status::BadRequest);
    // A feature request on a handle never opened.
    simwire::Message m;
    m.op = Op::SetFeature;
    m.seq = 9;
    m.handle = 42;
    m.bytes = {3, 0x51, 7, 0, 0, 0, 0, 0};
    ASSERT_TRUE(simwire::SendMessage(fd, m));
    n = ::recv(fd, buffer.data(), buffer.size(), 0);
    reply = simwire::Decode(buffer.data(), static_cast<std::size_t>(n));
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->seq, 9u);
    EXPECT_EQ(reply->status, Status::BadRequest);
    ::close(fd);
    EXPECT_EQ(control(Op::List).units.size(), 1u);
}

std::size_t ThreadsOfThisProcess()
{
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/task")) ++n;
    return n;
}

TEST_F(SimBus, AClientThatOpensWithoutEndGetsErrorsWhileTheOthersAreServed)
{
    plug("QV310");
    auto bus = simwire::ConnectSimulatorBus(socket());
    auto command = bus->open(FindPath(*bus, std::string(kTagCommand)));
    ASSERT_TRUE(command);
    std::array<std::uint8_t, 8> group{kCommandReportId, 0x53, 6, 5, 4, 3, 2, 0};
    ASSERT_TRUE(command->setFeature(group.data(), group.size()));

    const std::size_t threadsBefore = ThreadsOfThisProcess();
    simwire::SimConnection greedy(socket(), false);
    const std::string input = FindPath(*bus, std::string(kTagInput));
    std::optional<simwire::Message> refused;
    std::size_t opened = 0;
    while (!refused && opened < 100000) {
        simwire::Message m;
        m.op = Op::Open;
        m.text = input;
        auto reply = greedy.request(std::move(m));
        ASSERT_TRUE(reply) << "the simulator stopped answering after " << opened << " opens";
        if (reply->status == Status::Ok)
            ++opened;
        else
            refused = reply;
    }
    ASSERT_TRUE(refused) << "no limit";
    EXPECT_EQ(refused->status, Status::Failed);
    EXPECT_NE(refused->text.find("too many open handles"), std::string::npos) << refused->text;
    EXPECT_LE(ThreadsOfThisProcess(), threadsBefore + 2) << opened << " input handles must not cost a thread each";

    // The other program carries on, and still gets what the keyboard reports.
    auto ask = Command(0x51, 6);
    ASSERT_TRUE(command->setFeature(ask.data(), ask.size()));
    std::array<std::uint8_t, 8> reply{kCommandReportId};
    ASSERT_TRUE(command->getFeature(reply.data(), reply.size()));
    EXPECT_EQ(reply, group);
    EXPECT_TRUE(bus->open(input)) << "a handle of its own is still granted";

    // Its memory file is whole: the next simulator reads back what was written.
    stop();
    start();
    plug("QV310");
    auto again = simwire::ConnectSimulatorBus(socket());
    auto fresh = again->open(FindPath(*again, std::string(kTagCommand)));
    ASSERT_TRUE(fresh);
    ASSERT_TRUE(fresh->setFeature(ask.data(), ask.size()));
    reply = {kCommandReportId};
    ASSERT_TRUE(fresh->getFeature(reply.data(), reply.size()));
    EXPECT_EQ(reply, group);
}

// A program that asks and never reads the answers: the others are served
// meanwhile, and it is dropped once its unread answers pass the bound.
TEST_F(SimBus, AClientThatNeverReadsDelaysNobodyAndIsDroppedWhenItsQueueOverflows)
{
    plug("QV310");
    auto bus = simwire::ConnectSimulatorBus(socket());
    auto command = bus->open(FindPath(*bus, std::string(kTagCommand)));
    ASSERT_TRUE(command);
    auto roundTrip = [&](std::uint8_t value) {
        std::array<std::uint8_t, 8> group{kCommandReportId, 0x53, 6, value, 4, 3, 2, 0};
        auto ask = Command(0x51, 6);
        std::array<std::uint8_t, 8> reply{kCommandReportId};
        return command->setFeature(group.data(), group.size()) && command->setFeature(ask.data(), ask.size()) &&
               command->getFeature(reply.data(), reply.size()) && reply == group;
    };

    simwire::Message enumerate;
    enumerate.op = Op::Enumerate;
    const std::size_t answer = simwire::Encode(control(Op::Enumerate)).size() + sim::SimServer::kQueueOverhead;
    const std::size_t bound = sim::SimServer::kMaxQueuedBytes / answer;
    int deaf = simwire::ConnectSocket(socket());
    ASSERT_GE(deaf, 0);

    // Half the bound: far more than the socket holds, so the server has to
    // keep answers back, and the other program's conversation goes on.
    for (std::size_t i = 0; i < bound / 2; ++i) {
        ASSERT_TRUE(simwire::SendMessage(deaf, enumerate)) << "dropped after " << i << " requests";
        ASSERT_TRUE(roundTrip(static_cast<std::uint8_t>(i))) << "round trip " << i;
    }
    // Past the bound it is dropped.
    std::size_t sent = bound / 2;
    while (sent < 4 * bound && simwire::SendMessage(deaf, enumerate)) ++sent;
    EXPECT_LT(sent, 4 * bound) << "never dropped";
    EXPECT_GE(sent, bound);
    ::close(deaf);
    EXPECT_TRUE(roundTrip(77));
}

TEST_F(SimBus, ASecondSimulatorDoesNotTakeTheSocketButAStaleFileIsReplaced)
{
    sim::EmulatedBusHost host;
    sim::Simulator simulator(host, {});
    sim::SimServer other(host, simulator);
    std::string error;
    EXPECT_FALSE(other.listen(socket(), &error));
    EXPECT_NE(error.find("already serves"), std::string::npos) << error;

    stop();
    // The socket file of a simulator that died stays behind.
    int fd = ::socket(AF_UNIX, SOCK_SEQPACKET, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strcpy(addr.sun_path, socket().c_str());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ::close(fd);
    ASSERT_TRUE(std::filesystem::exists(socket()));
    start();
    EXPECT_EQ(plug("QV420"), 1u);

    // A file that is not a socket is never removed.
    auto plain = dir_.path() / "plain";
    ASSERT_TRUE(WriteFileAtomic(plain, std::vector<std::uint8_t>{1}));
    sim::SimServer third(host, simulator);
    EXPECT_FALSE(third.listen(plain, &error));
    EXPECT_TRUE(std::filesystem::exists(plain));
}

}  // namespace
}  // namespace zr417::simtest
