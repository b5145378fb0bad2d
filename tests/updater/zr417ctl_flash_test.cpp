// zr417ctl hex2bin and flash, run as a user would run them.
#include "test_util.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <array>
#include <cstdio>
#include <cstdlib>

namespace zr417::updater {
namespace {

struct Result {
    int exitCode = -1;
    std::string output;
};

Result Ctl(const test::TempDir& dir, const std::string& arguments)
{
    const char* runtime = std::getenv("ZR417_RUNTIME_DIR");
    std::string program = (std::filesystem::path(runtime ? runtime : ".") / "zr417ctl").string();
    std::string command = "cd '" + dir.path().string() + "' && env -u ZR417_SIMULATE XDG_STATE_HOME='" +
                          dir.path().string() + "' '" + program + "' " + arguments + " 2>&1";
    Result r;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return r;
    std::array<char, 512> buf;
    while (std::fgets(buf.data(), buf.size(), pipe)) r.output += buf.data();
    int status = ::pclose(pipe);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

TEST(Zr417ctlFirmware, Hex2BinConvertsAndReportsErrorsByExitCode)
{
    test::TempDir dir;
    test::WriteText(dir.file("fw.hex"), test::HexOf(test::Pattern(1000)));
    auto ok = Ctl(dir, "hex2bin fw.hex");
    EXPECT_EQ(ok.exitCode, 0) << ok.output;
    EXPECT_EQ(test::ReadAll(dir.file("fw.bin")), test::Pattern(1000));

    auto missing = Ctl(dir, "hex2bin none.hex");
    EXPECT_EQ(missing.exitCode, 4);
    EXPECT_NE(missing.output.find("cannot open none.hex"), std::string::npos) << missing.output;
    ASSERT_EQ(::mkfifo(dir.file("pipe.hex").c_str(), 0600), 0);
    auto fifo = Ctl(dir, "hex2bin pipe.hex");  // at once, not waiting for a writer
    EXPECT_EQ(fifo.exitCode, 4) << fifo.output;

    test::WriteText(dir.file("big.hex"), test::Record(0xEFF8, std::vector<std::uint8_t>(16, 1)));
    auto big = Ctl(dir, "hex2bin big.hex");
    EXPECT_EQ(big.exitCode, 5);
    EXPECT_NE(big.output.find("60 KiB"), std::string::npos) << big.output;
    EXPECT_FALSE(std::filesystem::exists(dir.file("big.bin")));

    EXPECT_EQ(Ctl(dir, "hex2bin").exitCode, 2);
}

TEST(Zr417ctlFirmware, FlashBurnsEverySimulatedBootloader)
{
    test::TempDir dir;
    test::WriteText(dir.file("fw.hex"), test::HexOf(test::Pattern(5000)));
    auto r = Ctl(dir, "flash fw.hex --simulate 2");
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(r.output.find("Device2 Arrival, TimesLeft:8"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("Device1: Successful, serial number 1 (0x0001)"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("Device2: Successful, serial number 2 (0x0002)"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("2 burned, 0 failed"), std::string::npos) << r.output;

    // A simulated keyboard in normal mode is sent into its bootloader first.
    auto kb = Ctl(dir, "flash fw.bin --simulate QV420");
    EXPECT_EQ(kb.exitCode, 0) << kb.output;
    EXPECT_NE(kb.output.find("1 burned, 0 failed"), std::string::npos) << kb.output;

    auto none = Ctl(dir, "flash fw.hex --simulate 0");
    EXPECT_EQ(none.exitCode, 3) << none.output;
    auto badFile = Ctl(dir, "flash missing.bin --simulate 1");
    EXPECT_EQ(badFile.exitCode, 4) << badFile.output;
}

TEST(Zr417ctlFirmware, FlashNamesTheBootloadersBeyondSixteenAndFails)
{
    test::TempDir dir;
    test::WriteText(dir.file("fw.hex"), test::HexOf(test::Pattern(100)));
    auto r = Ctl(dir, "flash fw.hex --simulate 17");
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_NE(r.output.find("Device16: Successful"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("left out (at most 16 devices burn at once): emu:/port17/"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("16 burned, 0 failed, 1 left out"), std::string::npos) << r.output;
}

}  // namespace
}  // namespace zr417::updater
