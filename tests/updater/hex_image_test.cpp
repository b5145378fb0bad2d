#include "updater/hex_image.h"

#include "test_util.h"
#include "tests/support/full_disk.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace zr417::updater {
namespace {

using test::HexOf;
using test::Record;
using test::RecordingSink;
using test::TempDir;
using test::WriteText;

struct Loaded {
    int result = 0;
    std::size_t length = 0;
    std::vector<std::uint8_t> buffer;
    RecordingSink sink;
};

Loaded Load(const TempDir& dir, const std::string& text)
{
    std::string path = dir.file("fw.hex");
    WriteText(path, text);
    Loaded l;
    l.buffer.assign(kImageLimit, 0xCC);
    l.length = 12345;
    l.result = LoadHexImage(path, l.length, l.buffer.data(), &l.sink);
    return l;
}

TEST(HexImage, EndRecordOnlyGivesAnEmptyImage)
{
    TempDir dir;
    auto l = Load(dir, ":00000001FF\n");
    EXPECT_EQ(l.result, kHexOk);
    EXPECT_EQ(l.length, 0u);
    EXPECT_TRUE(l.sink.messages.empty());
}

TEST(HexImage, LastAddressOfSixtyKiBIsAcceptedAndBeyondIsRefused)
{
    TempDir dir;
    auto ok = Load(dir, Record(0xEFFF, {0x42}) + ":00000001FF\n");
    ASSERT_EQ(ok.result, kHexOk);
    EXPECT_EQ(ok.length, 0xF000u);
    EXPECT_EQ(ok.buffer[0xEFFF], 0x42);

    for (const std::string& text :
         {Record(0xF000, {1}), Record(0xEFF8, std::vector<std::uint8_t>(16, 0x11)), Record(0xFFFF, {})}) {
        auto l = Load(dir, Record(0, {1, 2}) + text + ":00000001FF\n");
        EXPECT_EQ(l.result, kHexTooBig) << text;
        // Neither the caller's buffer nor the length is touched.
        EXPECT_EQ(l.length, 12345u);
        EXPECT_EQ(l.buffer[0], 0xCC);
        ASSERT_EQ(l.sink.messages.size(), 1u);
        EXPECT_EQ(l.sink.messages[0].text, dir.file("fw.hex") + "對應目標文件超過60K！");
        EXPECT_EQ(l.sink.messages[0].caption, "Error");
        EXPECT_EQ(l.sink.messages[0].icon, MessageIcon::Error);
    }
}

TEST(HexImage, LengthIsHighestAddressPlusOneWithGapsZeroFilled)
{
    TempDir dir;
    auto l = Load(dir, Record(0x1000, {1, 2, 3, 4}) + Record(0x0010, {9}) + ":00000001FF\n");
    ASSERT_EQ(l.result, kHexOk);
    ASSERT_EQ(l.length, 0x1004u);
    EXPECT_EQ(l.buffer[0x0010], 9);
    EXPECT_EQ(l.buffer[0x1003], 4);
    for (std::size_t a = 0; a < 0x1000; ++a) {
        if (a != 0x10) {
            ASSERT_EQ(l.buffer[a], 0) << a;
        }
    }
}

TEST(HexImage, RecordTypeAndChecksumAreNotExamined)
{
    TempDir dir;
    // Wrong checksum, unknown type 0x7E, a start-segment record (03) and an
    // extended linear address record (04): all stored at their address field.
    std::string text =
        ":0400100011223344FF\n"
        ":02002000AABB00\n"
        ":027E00307788D3\n"
        ":020000040800F2\n"
        ":00000001FF\n";
    auto l = Load(dir, text);
    ASSERT_EQ(l.result, kHexOk);
    EXPECT_EQ(l.buffer[0x10], 0x11);
    EXPECT_EQ(l.buffer[0x13], 0x44);
    EXPECT_EQ(l.buffer[0x20], 0xAA);
    EXPECT_EQ(l.buffer[0x7E00], 0x77);
    EXPECT_EQ(l.buffer[0x7E01], 0x88);
    EXPECT_EQ(l.buffer[0], 0x08);  // the extended address record's data at 0x0000
    EXPECT_EQ(l.buffer[1], 0x00);
    EXPECT_EQ(l.length, 0x7E02u);
}

TEST(HexImage, OnlyTheExactEndRecordEndsReading)
{
    TempDir dir;
    // Lower case, trailing blank, and an end record without a line feed at the
    // very end: none stops reading.
    auto lower = Load(
        dir, Record(0, {1}) + ":00000001ff\n" + Record(1, {2}) + ":00000001FF \n" + Record(2, {3}) + ":00000001FF");
    ASSERT_EQ(lower.result, kHexOk);
    EXPECT_EQ(lower.length, 3u);
    EXPECT_EQ(lower.buffer[2], 3);

    // The exact record stops it, also with CR LF line ends (text mode).
    auto exact = Load(dir, Record(0, {1}) + ":00000001FF\r\n" + Record(1, {2}));
    ASSERT_EQ(exact.result, kHexOk);
    EXPECT_EQ(exact.length, 1u);
}

TEST(HexImage, CrLfLinesAndRecordsInAnyOrder)
{
    TempDir dir;
    std::string text =
        ":0200100001020B\r\n"
        ":02000000AABB99\r\n"
        ":020010000304E7\r\n"  // later records overwrite earlier bytes
        ":00000001FF\r\n";
    auto l = Load(dir, text);
    ASSERT_EQ(l.result, kHexOk);
    EXPECT_EQ(l.length, 0x12u);
    EXPECT_EQ(l.buffer[0], 0xAA);
    EXPECT_EQ(l.buffer[0x10], 0x03);
    EXPECT_EQ(l.buffer[0x11], 0x04);
}

TEST(HexImage, MalformedFieldsTakeTheirLeadingDigits)
{
    TempDir dir;
    // Count "2G" = 2, address "01x0" = 0x01; data "5Z" = 5, "Q1" = 0; a short
    // line's missing data characters count as 0.
    auto l = Load(dir, ":2G01x0005ZQ1\n:0400200077\n:00000001FF\n");
    ASSERT_EQ(l.result, kHexOk);
    EXPECT_EQ(l.buffer[0x01], 0x05);
    EXPECT_EQ(l.buffer[0x02], 0x00);
    EXPECT_EQ(l.buffer[0x20], 0x77);
    EXPECT_EQ(l.buffer[0x21], 0x00);
    EXPECT_EQ(l.length, 0x24u);
}

TEST(HexImage, LongLinesContinueAsAFurtherLine)
{
    TempDir dir;
    std::string first =
        ":01000000"
        "11";
    first += std::string(255 - first.size(), 'Z');
    auto l = Load(dir, first + ":0120000022\n:00000001FF\n");
    ASSERT_EQ(l.result, kHexOk);
    EXPECT_EQ(l.buffer[0], 0x11);
    EXPECT_EQ(l.buffer[0x2000], 0x22);
    EXPECT_EQ(l.length, 0x2001u);

    // A 255-byte record reaches past the line: what the line does not hold
    // is 0, and nothing lands outside the 60 KiB.
    std::string big = ":FFEFF000" + std::string(600, 'A') + "\n";
    auto huge = Load(dir, big);
    EXPECT_EQ(huge.result, kHexTooBig);
}

TEST(HexImage, MissingFileAndDirectoryCannotBeOpened)
{
    TempDir dir;
    RecordingSink sink;
    std::vector<std::uint8_t> buffer(kImageLimit, 0xCC);
    std::size_t length = 7;
    EXPECT_EQ(LoadHexImage(dir.file("none.hex"), length, buffer.data(), &sink), kHexOpenFailed);
    EXPECT_EQ(LoadHexImage(dir.path().string(), length, buffer.data(), &sink), kHexOpenFailed);
    // A FIFO is refused at once instead of waiting for a writer.
    ASSERT_EQ(::mkfifo(dir.file("pipe.hex").c_str(), 0600), 0);
    EXPECT_EQ(LoadHexImage(dir.file("pipe.hex"), length, buffer.data(), &sink), kHexOpenFailed);
    EXPECT_EQ(length, 7u);
    ASSERT_EQ(sink.messages.size(), 3u);
    EXPECT_EQ(sink.messages[0].text, dir.file("none.hex") + "不存在！");
    EXPECT_EQ(sink.messages[0].caption, "Error");
}

TEST(HexImage, ParseFromMemoryFollowsTheFileRules)
{
    std::string text = test::HexOf(test::Pattern(1000));
    std::vector<std::uint8_t> buffer(kImageLimit);
    std::size_t length = 0;
    ASSERT_EQ(ParseHexImage({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()}, length, buffer.data()),
              kHexOk);
    ASSERT_EQ(length, 1000u);
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + 1000, test::Pattern(1000).begin()));
}

TEST(ImagePath, ReplacesTheFileNamesExtension)
{
    EXPECT_EQ(MakeImagePath("/fw/kb.hex"), "/fw/kb.bin");
    EXPECT_EQ(MakeImagePath("/fw/kb.rev.hex"), "/fw/kb.rev.bin");
    EXPECT_EQ(MakeImagePath("/fw/kb.bin"), "/fw/kb.bin");
    EXPECT_EQ(MakeImagePath("/fw/kb."), "/fw/kb.bin");
    // A dot in a folder name is not the file's extension.
    EXPECT_EQ(MakeImagePath("/fw.d/kb"), "/fw.d/kb.bin");
    EXPECT_EQ(MakeImagePath("kb"), "kb.bin");
}

TEST(ConvertFirmware, WritesTheImageBesideTheHexFile)
{
    TempDir dir;
    auto image = test::Pattern(5000);
    WriteText(dir.file("fw.hex"), HexOf(image));
    EXPECT_EQ(ConvertFirmware(dir.file("fw.hex"), nullptr), ConvertResult::Converted);
    EXPECT_EQ(test::ReadAll(dir.file("fw.bin")), image);
}

TEST(ConvertFirmware, AFailedConversionLeavesNoImageBehind)
{
    TempDir dir;
    WriteText(dir.file("fw.bin"), "stale image of an older file");
    WriteText(dir.file("fw.hex"), Record(0xF000, {1}));
    RecordingSink sink;
    EXPECT_EQ(ConvertFirmware(dir.file("fw.hex"), &sink), ConvertResult::TooBig);
    EXPECT_FALSE(std::filesystem::exists(dir.file("fw.bin")));
    EXPECT_EQ(sink.messages.size(), 1u);

    EXPECT_EQ(ConvertFirmware(dir.file("gone.hex"), &sink), ConvertResult::OpenFailed);
    EXPECT_FALSE(std::filesystem::exists(dir.file("gone.bin")));

    // The HEX file reads, the image cannot be written (as on a full disk):
    // the previous image goes too, and the failure is shown.
    WriteText(dir.file("fw.bin"), "stale image of an older file");
    WriteText(dir.file("fw.hex"), HexOf(test::Pattern(3000)));
    sink.messages.clear();
    ConvertResult full{};
    {
        zr417::test::FullDisk disk(1000);
        ASSERT_TRUE(disk.ok());
        full = ConvertFirmware(dir.file("fw.hex"), &sink, 1);
    }
    EXPECT_EQ(full, ConvertResult::WriteFailed);
    EXPECT_FALSE(std::filesystem::exists(dir.file("fw.bin")));
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].text, dir.file("fw.bin") + "无法写入！");
    EXPECT_EQ(sink.messages[0].caption, "Error");
}

TEST(ConvertFirmware, AReadyImageIsNeverOverwritten)
{
    TempDir dir;
    WriteText(dir.file("fw.bin"), "\x01\x02\x03");
    EXPECT_EQ(ConvertFirmware(dir.file("fw.bin"), nullptr), ConvertResult::AlreadyImage);
    EXPECT_EQ(test::ReadAll(dir.file("fw.bin")), (std::vector<std::uint8_t>{1, 2, 3}));
}

TEST(FirmwareStartupCheck, WarnsAboutAnEmptyOrMissingPath)
{
    TempDir dir;
    RecordingSink sink;
    FirmwareStartupCheck("", 0, sink);
    FirmwareStartupCheck(dir.file("x.hex"), 0, sink);
    FirmwareStartupCheck("", 1, sink);
    FirmwareStartupCheck(dir.file("x.hex"), 2, sink);
    ASSERT_EQ(sink.messages.size(), 4u);
    EXPECT_EQ(sink.messages[0].text, "Please select firmware!");
    EXPECT_EQ(sink.messages[0].caption, "Warning");
    EXPECT_EQ(sink.messages[0].icon, MessageIcon::Warning);
    EXPECT_EQ(sink.messages[1].text, dir.file("x.hex") + " not exist!");
    EXPECT_EQ(sink.messages[2].text, "请选择待烧写的固件！");
    EXPECT_EQ(sink.messages[3].text, dir.file("x.hex") + "不存在！");
    EXPECT_FALSE(std::filesystem::exists(dir.file("x.bin")));
}

TEST(FirmwareStartupCheck, ConvertsOnlyWhenTheImageIsMissing)
{
    TempDir dir;
    RecordingSink sink;
    WriteText(dir.file("fw.hex"), HexOf({1, 2, 3}));
    FirmwareStartupCheck(dir.file("fw.hex"), 0, sink);
    EXPECT_EQ(test::ReadAll(dir.file("fw.bin")), (std::vector<std::uint8_t>{1, 2, 3}));

    // A newer HEX file does not regenerate an existing image.
    WriteText(dir.file("fw.hex"), HexOf({9, 9, 9, 9}));
    FirmwareStartupCheck(dir.file("fw.hex"), 0, sink);
    EXPECT_EQ(test::ReadAll(dir.file("fw.bin")), (std::vector<std::uint8_t>{1, 2, 3}));

    // A configured ".bin" is used as it is.
    WriteText(dir.file("ready.bin"), "abc");
    FirmwareStartupCheck(dir.file("ready.bin"), 0, sink);
    EXPECT_EQ(test::ReadAll(dir.file("ready.bin")).size(), 3u);
    EXPECT_TRUE(sink.messages.empty());
}

}  // namespace
}  // namespace zr417::updater
