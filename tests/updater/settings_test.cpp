#include "updater/ini_file.h"
#include "updater/tool_settings.h"
#include "updater/tool_texts.h"

#include "test_util.h"

#include <gtest/gtest.h>

namespace zr417::updater {
namespace {

using test::TempDir;

IniFile FromText(const std::string& text)
{
    return IniFile::FromBytes({text.begin(), text.end()});
}

std::vector<std::uint8_t> Utf16(const std::u16string& text, bool bom = true)
{
    std::vector<std::uint8_t> out;
    if (bom) out = {0xFF, 0xFE};
    for (char16_t c : text) {
        out.push_back(static_cast<std::uint8_t>(c & 0xFF));
        out.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    return out;
}

TEST(IniFile, ReadsLikeTheProfileFunctions)
{
    auto ini = FromText(
        "; comment\r\n"
        "[firmware]\r\n"
        "  PATH = \"/fw/kb.hex\"  \r\n"
        "[Device]\r\n"
        "serial NUMBER=0010abc\r\n"
        "Model = QV 310 \r\n"
        "sensor direct=\r\n"
        "VID=-5\r\n"
        "PID=x12\r\n"
        "[device]\r\n"
        "Extra=1\r\n");
    EXPECT_EQ(ini.GetString("Firmware", "Path", "d"), "/fw/kb.hex");
    EXPECT_EQ(ini.GetString("Device", "Model", "d"), "QV 310");
    EXPECT_EQ(ini.GetInt("Device", "Serial number", 1), 10u);
    EXPECT_EQ(ini.GetInt("Device", "sensor direct", 3), 3u);  // empty value: default
    EXPECT_EQ(ini.GetInt("Device", "VID", 7), 0u);
    EXPECT_EQ(ini.GetInt("Device", "PID", 7), 0u);
    EXPECT_EQ(ini.GetInt("Device", "Missing", 7), 7u);
    EXPECT_EQ(ini.GetString("Nowhere", "Path", "dflt"), "dflt");
    // Only the first section of a name is read.
    EXPECT_FALSE(ini.Find("Device", "Extra").has_value());
}

TEST(IniFile, ReadsUtf16WithByteOrderMark)
{
    auto ini = IniFile::FromBytes(Utf16(u"[Device]\r\nModel=键盘 QV420\r\nSerial number=42\r\n"));
    EXPECT_EQ(ini.encoding(), IniFile::Encoding::Utf16Le);
    EXPECT_EQ(ini.GetString("Device", "Model", ""), "键盘 QV420");
    EXPECT_EQ(ini.GetInt("Device", "Serial number", 1), 42u);

    auto bom8 = FromText("\xEF\xBB\xBF[Device]\nModel=x\n");
    EXPECT_EQ(bom8.GetString("Device", "Model", ""), "x");
    // ANSI text that is not UTF-8 is read as Latin-1.
    auto ansi = FromText("[Device]\nModel=caf\xE9\n");
    EXPECT_EQ(ansi.GetString("Device", "Model", ""), "caf\xC3\xA9");
}

TEST(IniFile, WritingAKeyKeepsTheRestOfTheFile)
{
    const std::string original = "; keep me\r\n[Firmware]\r\npath = old\r\n\r\n[Device]\r\nModel=QV310\r\n";
    auto ini = FromText(original);
    ini.SetString("Firmware", "Path", "/new/fw.hex");
    std::string expected = "; keep me\r\n[Firmware]\r\nPath=/new/fw.hex\r\n\r\n[Device]\r\nModel=QV310\r\n";
    EXPECT_EQ(std::string(ini.bytes().begin(), ini.bytes().end()), expected);

    // A new key goes after the section's last line, before the blank ones.
    ini.SetString("firmware", "Extra", "1");
    expected = "; keep me\r\n[Firmware]\r\nPath=/new/fw.hex\r\nExtra=1\r\n\r\n[Device]\r\nModel=QV310\r\n";
    EXPECT_EQ(std::string(ini.bytes().begin(), ini.bytes().end()), expected);

    // A new section goes at the end; a value cannot break the line.
    ini.SetString("Other", "Key", "a\nb");
    EXPECT_EQ(std::string(ini.bytes().begin(), ini.bytes().end()), expected + "[Other]\r\nKey=a b\r\n");
    EXPECT_EQ(ini.GetString("Other", "Key", ""), "a b");
}

TEST(IniFile, WritingKeepsUtf16AndTheFileOnDisk)
{
    TempDir dir;
    std::string path = dir.file("config.ini");
    auto bytes = Utf16(u"[Device]\r\nSerial number=0001\r\nModel=型号\r\n");
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(IniFile::WriteString(path, "Device", "Serial number", "0010"));
    EXPECT_EQ(test::ReadAll(path), Utf16(u"[Device]\r\nSerial number=0010\r\nModel=型号\r\n"));

    // A missing file is created.
    ASSERT_TRUE(IniFile::WriteString(dir.file("new.ini"), "Firmware", "Path", "/a.hex"));
    auto created = test::ReadAll(dir.file("new.ini"));
    EXPECT_EQ(std::string(created.begin(), created.end()), "[Firmware]\nPath=/a.hex\n");
}

TEST(IniFile, GarbageGivesDefaults)
{
    std::vector<std::uint8_t> garbage;
    for (int i = 0; i < 5000; ++i) garbage.push_back(static_cast<std::uint8_t>((i * 7919) >> 3));
    auto ini = IniFile::FromBytes(garbage);
    auto s = ReadToolSettings(ini, "/tool");
    EXPECT_EQ(s.baseSerial, 1u);
    EXPECT_TRUE(s.autoIncrease);
    EXPECT_EQ(s.sensorIndex, 0);
    EXPECT_EQ(s.vid, kDefaultVid);
    EXPECT_EQ(s.pid, kDefaultPid);
    // An odd-length UTF-16 file loses only its last byte.
    auto odd = Utf16(u"[Device]\nModel=x\n");
    odd.push_back(0x41);
    EXPECT_EQ(IniFile::FromBytes(odd).GetString("Device", "Model", ""), "x");
}

TEST(ToolSettings, WithoutConfigIniTheDefaultsHold)
{
    TempDir dir;
    auto s = ReadToolSettings(IniFile::Load(dir.file("config.ini")), dir.path());
    EXPECT_EQ(s.firmwarePath, "");
    EXPECT_EQ(s.baseSerial, 1u);
    EXPECT_TRUE(s.autoIncrease);
    EXPECT_EQ(s.sensorIndex, 0);
    EXPECT_EQ(s.vid, 0x260Du);
    EXPECT_EQ(s.pid, 0x0015u);
}

TEST(ToolSettings, ReadsTheStartUpValues)
{
    auto s = ReadToolSettings(FromText("[Firmware]\nPath=fw/kb.hex\n[Device]\nModel=QV310\nVID=7247\nPID=24004\n"
                                       "Serial number=4660\nserial number Increase=0\nsensor direct=3\n"),
                              "/opt/tool");
    EXPECT_EQ(s.firmwarePath, "/opt/tool/fw/kb.hex");  // relative to the tool's folder
    EXPECT_EQ(s.modelText, "QV310");
    EXPECT_EQ(s.vid, 0x1C4Fu);
    EXPECT_EQ(s.pid, 0x5DC4u);
    EXPECT_EQ(s.baseSerial, 0x1234u);  // decimal, even if reserved
    EXPECT_FALSE(s.autoIncrease);
    EXPECT_EQ(s.sensorIndex, 3);

    // Half an identity, or out-of-range values, fall back to the default.
    auto half = ReadToolSettings(FromText("[Device]\nVID=7247\nsensor direct=9\n"), "/t");
    EXPECT_EQ(half.vid, kDefaultVid);
    EXPECT_EQ(half.pid, kDefaultPid);
    EXPECT_EQ(half.sensorIndex, 0);
    auto big = ReadToolSettings(FromText("[Device]\nVID=70000\nPID=1\n"), "/t");
    EXPECT_EQ(big.vid, kDefaultVid);
}

TEST(HexToWord, WeighsEveryCharacter)
{
    EXPECT_EQ(HexToWord(""), 0);
    EXPECT_EQ(HexToWord("260d"), 0x260D);
    EXPECT_EQ(HexToWord("260D"), 0x260D);
    EXPECT_EQ(HexToWord("FFFF"), 0xFFFF);
    EXPECT_EQ(HexToWord("10000"), 0x0000);  // modulo 65536
    EXPECT_EQ(HexToWord("0010"), 0x0010);
    // Other characters count their code minus '0': 'G' is 23.
    EXPECT_EQ(HexToWord("G"), 23);
    EXPECT_EQ(HexToWord("1G"), 16 + 23);
}

TEST(SerialTable, OneAndTwoDevicesAdvanceByTheirCount)
{
    SerialTable one;
    one.Fill(1);
    std::vector<std::int64_t> written;
    for (int burn = 0; burn < 3; ++burn) {
        written.push_back(one.entry(0));
        one.Advance(0, 1);
    }
    EXPECT_EQ(written, (std::vector<std::int64_t>{1, 2, 3}));

    SerialTable two;
    two.Fill(1);
    std::vector<std::int64_t> slot1, slot2;
    for (int burn = 0; burn < 3; ++burn) {
        slot1.push_back(two.entry(0));
        slot2.push_back(two.entry(1));
        two.Advance(0, 2);
        two.Advance(1, 2);
    }
    EXPECT_EQ(slot1, (std::vector<std::int64_t>{1, 3, 5}));
    EXPECT_EQ(slot2, (std::vector<std::int64_t>{2, 4, 6}));
}

TEST(SerialTable, ReservedNumbersRenumberTheFollowingSlots)
{
    SerialTable t;
    t.Fill(0x1233);
    t.Advance(0, 1);
    EXPECT_EQ(t.entry(0), 0x1235);
    EXPECT_EQ(t.entry(1), 0x1236);
    EXPECT_EQ(t.entry(15), 0x1235 + 15);

    t.Fill(0xAA50);
    t.set(3, 0xAA54);
    t.Advance(3, 1);
    EXPECT_EQ(t.entry(2), 0xAA52);  // slots before it keep their numbers
    EXPECT_EQ(t.entry(3), 0xAA56);
    EXPECT_EQ(t.entry(4), 0xAA57);

    t.Fill(0xFFFE);
    t.Advance(0, 1);
    EXPECT_EQ(t.entry(0), 1);
    EXPECT_EQ(t.entry(1), 2);

    // 0xFFFE + 2 would reach the device as 0x0000: it restarts at 1 too.
    t.Fill(0xFFFE);
    t.Advance(0, 2);
    EXPECT_EQ(t.entry(0), 1);
    EXPECT_EQ(t.entry(5), 6);
}

}  // namespace
}  // namespace zr417::updater

namespace zr417::updater {
namespace {

TEST(ToolTexts, LanguageFromTheLocaleAndFormattedRows)
{
    EXPECT_EQ(ToolLanguageFromLocaleName("zh_CN"), 1);
    EXPECT_EQ(ToolLanguageFromLocaleName("zh_CN.UTF-8"), 1);
    EXPECT_EQ(ToolLanguageFromLocaleName("zh_TW"), 2);
    EXPECT_EQ(ToolLanguageFromLocaleName("zh_HK"), 2);
    EXPECT_EQ(ToolLanguageFromLocaleName("zh_SG"), 2);
    EXPECT_EQ(ToolLanguageFromLocaleName("en_US"), 0);
    EXPECT_EQ(ToolLanguageFromLocaleName("C"), 0);

    for (int row = 0; row < static_cast<int>(ToolText::Count); ++row)
        for (int lang = 0; lang < kLanguageCount; ++lang)
            EXPECT_STRNE(Text(static_cast<ToolText>(row), lang), "") << row << " " << lang;
    EXPECT_EQ(FormatText(ToolText::SendData, 0, 2048.0f / 61440.0f * 100.0f), "Send data--3.33%");
    EXPECT_EQ(FormatText(ToolText::ReadData, 2, 100.0), "讀數據--100.00%");
    EXPECT_EQ(FormatText(ToolText::DeviceArrival, 1, 16), "设备16到达");
    EXPECT_EQ(FormatText(ToolText::TimesLeft, 2, 8), "剩餘次數:8");
    EXPECT_STREQ(Text(ToolText::Stop, 7), "Stop");  // out of range: English
}

}  // namespace
}  // namespace zr417::updater
