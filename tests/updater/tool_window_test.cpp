#include "updater/tool_dlg.h"

#include "test_util.h"
#include "tests/support/qt_app.h"
#include "updater/setting_dialog.h"
#include "updater/tool_texts.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFontMetrics>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTabBar>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

namespace zr417::updater {
namespace {

using emu::BootloaderEmulator;
using test::TempDir;

class ToolWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite() { zr417::test::QtApp(); }
    void SetUp() override
    {
        test::WriteText(dir.file("fw.hex"), test::HexOf(test::Pattern(3000)));
        WriteConfig("[Firmware]\nPath=fw.hex\n[Device]\nModel=QV420 sample\n");
    }
    void WriteConfig(const std::string& text) { test::WriteText(dir.file("config.ini"), text); }
    std::shared_ptr<BootloaderEmulator> Plug()
    {
        auto d = std::make_shared<BootloaderEmulator>();
        ports.push_back(bus.plug(d));
        return d;
    }
    std::unique_ptr<CNorvane_MP_TOOLDlg> Open(int language = 0, UpdateTool::WaitFunction wait = {})
    {
        CNorvane_MP_TOOLDlg::Options o;
        o.bus = &bus;
        o.toolDir = dir.path();
        o.language = language;
        o.wait = wait ? wait : [](std::chrono::milliseconds) {};
        o.messages = &sink;
        auto dlg = std::make_unique<CNorvane_MP_TOOLDlg>(o);
        bus.drainEvents();  // the start-up enumeration saw them already
        return dlg;
    }
    // Delivers the bus's plug events as the event loop would.
    static void Pump(CNorvane_MP_TOOLDlg& dlg)
    {
        QCoreApplication::processEvents();
        dlg.OnDeviceEvents();
        QCoreApplication::processEvents();
    }
    static void Burn(CNorvane_MP_TOOLDlg& dlg)
    {
        QSignalSpy idle(&dlg, &CNorvane_MP_TOOLDlg::burnIdle);
        QTest::mouseClick(static_cast<QAbstractButton*>(dlg.control(1)), Qt::LeftButton);
        ASSERT_TRUE(idle.wait(20000));
        while (dlg.tool().AnyBurning()) ASSERT_TRUE(idle.wait(20000));
        QCoreApplication::processEvents();
    }
    static QString TextOf(QWidget* w) { return w->property("text").toString(); }

    TempDir dir;
    emu::EmulatedBus bus;
    test::RecordingSink sink;
    std::vector<int> ports;
};

TEST_F(ToolWindow, ShowsArrivingBootloadersAndBurnsThemAll)
{
    auto d1 = Plug();
    auto d2 = Plug();
    auto dlg = Open();
    dlg->show();
    EXPECT_TRUE(sink.messages.empty());
    EXPECT_EQ(dlg->windowTitle(), "Update Tool");
    EXPECT_EQ(TextOf(dlg->control(1017)), "QV420 sample");
    EXPECT_EQ(dlg->slot(0)->line1(), "Device1 Arrival");
    EXPECT_EQ(dlg->slot(0)->line2(), "TimesLeft:8");
    EXPECT_EQ(dlg->slot(1)->line1(), "Device2 Arrival");
    EXPECT_EQ(dlg->slot(2)->line1(), "No device");
    // Two devices: both slots and the counts are in view.
    EXPECT_TRUE(dlg->slot(0)->isVisible());
    EXPECT_TRUE(dlg->slot(1)->isVisible());
    EXPECT_FALSE(dlg->slot(2)->isVisible());
    for (int shown : {1024, 1031, 1032, 1033, 1034}) EXPECT_TRUE(dlg->control(shown)->isVisible()) << shown;
    for (int hidden : {1016, 1044, 1025, 1026, 1027, 1022, 1023})
        EXPECT_FALSE(dlg->control(hidden)->isVisible()) << hidden;
    EXPECT_FALSE(dlg->control(1016)->isEnabled());

    Burn(*dlg);
    for (int k : {0, 1}) {
        EXPECT_EQ(dlg->slot(k)->line1(), "Successful");
        EXPECT_EQ(dlg->slot(k)->colour(), kGreen);
    }
    EXPECT_EQ(d1->serialNumber(), 1);
    EXPECT_EQ(d2->serialNumber(), 2);
    EXPECT_EQ(TextOf(dlg->control(1033)), "2");
    EXPECT_EQ(TextOf(dlg->control(1034)), "0");
    EXPECT_TRUE(dlg->control(2)->isEnabled());

    // Both come back (re-plugged): removal and arrival through the bus's
    // events, and the next burns continue two numbers further on.
    for (int port : ports) bus.unplug(port);
    Pump(*dlg);
    EXPECT_EQ(dlg->slot(0)->line1(), "No device");
    EXPECT_EQ(dlg->slot(0)->colour(), kWhite);
    auto d3 = Plug();
    auto d4 = Plug();
    Pump(*dlg);
    EXPECT_EQ(dlg->slot(0)->line1(), "Device1 Arrival");
    Burn(*dlg);
    EXPECT_EQ(d3->serialNumber(), 3);
    EXPECT_EQ(d4->serialNumber(), 4);
    EXPECT_EQ(TextOf(dlg->control(1033)), "4");
}

TEST_F(ToolWindow, OneDeviceKeepsTheLayoutSeveralShowEverySlotInUseAndTheCounts)
{
    Plug();
    auto dlg = Open();
    dlg->show();
    auto expectLaidOut = [&] {
        EXPECT_EQ(dlg->size(), QSize(615, 362));
        EXPECT_TRUE(dlg->slot(0)->isVisible());
        EXPECT_EQ(dlg->slot(0)->pos(), QPoint(32, 110));
        EXPECT_EQ(dlg->control(1)->pos(), QPoint(470, 228));
        for (int k = 1; k < kSlotCount; ++k) EXPECT_FALSE(dlg->slot(k)->isVisible()) << k;
        for (int id : {1024, 1031, 1032, 1033, 1034}) EXPECT_FALSE(dlg->control(id)->isVisible()) << id;
    };
    expectLaidOut();

    for (int i = 1; i < kSlotCount; ++i) Plug();
    Pump(*dlg);
    Burn(*dlg);
    // Every slot whole inside the window, none covering another or a button.
    for (int k = 0; k < kSlotCount; ++k) {
        const QRect r = dlg->slot(k)->geometry();
        EXPECT_TRUE(dlg->slot(k)->isVisible()) << k;
        EXPECT_TRUE(dlg->rect().contains(r)) << k;
        for (int other = 0; other < k; ++other) EXPECT_FALSE(r.intersects(dlg->slot(other)->geometry())) << k;
        for (int id : {1, 2, 1024}) EXPECT_FALSE(r.intersects(dlg->control(id)->geometry())) << k << " " << id;
        EXPECT_EQ(dlg->slot(k)->line1(), "Successful");
    }
    EXPECT_TRUE(dlg->rect().contains(dlg->control(2)->geometry()));
    EXPECT_EQ(TextOf(dlg->control(1033)), "16");
    EXPECT_TRUE(dlg->control(1033)->isVisible());

    // Back to one device: the window as laid out again.
    for (std::size_t i = 1; i < ports.size(); ++i) bus.unplug(ports[i]);
    Pump(*dlg);
    expectLaidOut();
}

TEST_F(ToolWindow, NeitherEscapeNorTheCloseBoxEndsTheToolWhileASlotBurns)
{
    auto device = Plug();
    // The burn holds in its erase wait until released.
    std::mutex mutex;
    std::condition_variable cv;
    bool held = false, release = false;
    auto dlg = Open(0, [&](std::chrono::milliseconds) {
        std::unique_lock lock(mutex);
        held = true;
        cv.notify_all();
        cv.wait(lock, [&] { return release; });
    });
    dlg->show();
    QSignalSpy finished(dlg.get(), &QDialog::finished);
    QSignalSpy idle(dlg.get(), &CNorvane_MP_TOOLDlg::burnIdle);
    QTest::mouseClick(static_cast<QAbstractButton*>(dlg->control(1)), Qt::LeftButton);
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(10), [&] { return held; }));
    }
    EXPECT_EQ(device->eraseCount(), 1);

    QTest::keyClick(dlg.get(), Qt::Key_Escape);
    EXPECT_FALSE(dlg->close());
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(finished.count(), 0);

    {
        std::lock_guard lock(mutex);
        release = true;
    }
    cv.notify_all();
    ASSERT_TRUE(idle.wait(20000));
    EXPECT_EQ(dlg->slot(0)->line1(), "Successful");
    EXPECT_EQ(device->finishCount(), 1);
    QTest::keyClick(dlg.get(), Qt::Key_Escape);  // burned: Escape ends the tool again
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(finished.count(), 1);
}

TEST_F(ToolWindow, RadioButtonsRelabelAtOnceButSlotsKeepTheirText)
{
    Plug();
    auto dlg = Open(0);
    EXPECT_TRUE(static_cast<QRadioButton*>(dlg->control(1027))->isChecked());
    static_cast<QRadioButton*>(dlg->control(1025))->click();
    EXPECT_EQ(TextOf(dlg->control(1)), "更新");
    EXPECT_EQ(TextOf(dlg->control(2)), "退出");
    EXPECT_EQ(dlg->slot(0)->line1(), "Device1 Arrival");
    static_cast<QRadioButton*>(dlg->control(1026))->click();
    EXPECT_EQ(TextOf(dlg->control(1031)), "成功臺數：");
    Burn(*dlg);
    EXPECT_EQ(dlg->slot(0)->line1(), "燒寫成功");
}

TEST_F(ToolWindow, ChineseStartUpWarnsWithoutFirmware)
{
    WriteConfig("[Device]\nModel=x\n");
    auto dlg = Open(1);
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].text, "请选择待烧写的固件！");
    EXPECT_EQ(dlg->slot(0)->line1(), "无设备");
    EXPECT_TRUE(static_cast<QRadioButton*>(dlg->control(1025))->isChecked());
}

TEST_F(ToolWindow, SlotIsDrawnInItsStateColour)
{
    auto dlg = Open();
    CMouseStatic* s = dlg->slot(0);
    const std::pair<int, QColor> states[] = {
        {kWhite, Qt::white}, {kYellow, QColor(255, 255, 0)}, {kGreen, QColor(0, 255, 0)}, {kRed, QColor(255, 0, 0)}};
    for (auto [state, colour] : states) {
        s->SetColour(state);
        s->SetLine1("WWWWWW");
        s->SetLine2("");
        QImage image = s->grab().toImage();
        ASSERT_EQ(image.size(), QSize(150, 150));
        EXPECT_EQ(image.pixelColor(2, 2), colour) << state;
        EXPECT_EQ(image.pixelColor(147, 147), colour) << state;
        EXPECT_EQ(image.pixelColor(65, 100), colour) << state;  // inside the pie: same colour
        int dark = 0;
        for (int y = 57; y < 75; ++y)
            for (int x = 0; x < 130; ++x) dark += image.pixelColor(x, y).lightness() < 100;
        EXPECT_GT(dark, 20) << "line 1 is drawn";
        int darkLine2 = 0;
        for (int y = 77; y < 95; ++y)
            for (int x = 0; x < 130; ++x) darkLine2 += image.pixelColor(x, y).lightness() < 100;
        EXPECT_EQ(darkLine2, 0);
    }
}

TEST_F(ToolWindow, TheWidestSlotTextsFitTheirSquareInEveryLanguage)
{
    auto dlg = Open();
    CMouseStatic* s = dlg->slot(0);
    EXPECT_LE(QFontMetrics(s->font()).height(), 16);  // a 16-pixel cell, as the font was asked for
    // The dark pixels of what is drawn between the two points.
    auto inkOf = [&](int top, int bottom) {
        QImage image = s->grab().toImage();
        QRect ink;
        for (int y = top; y <= bottom; ++y)
            for (int x = 0; x < image.width(); ++x)
                if (image.pixelColor(x, y).lightness() < 128) ink |= QRect(x, y, 1, 1);
        return ink;
    };
    for (int lang = 0; lang < 3; ++lang) {
        for (const std::string& line1 :
             {FormatText(ToolText::ReadData, lang, 100.0), FormatText(ToolText::SendData, lang, 100.0),
              FormatText(ToolText::DeviceArrival, lang, 16)}) {
            s->SetLine1(line1);
            s->SetLine2(kSuccessLine2);
            QRect ink1 = inkOf(40, 76), ink2 = inkOf(77, 110);
            // Whole, clear of the square's edge, and inside the part of the
            // control a progress step repaints.
            EXPECT_GE(ink1.left(), 3) << line1;
            EXPECT_LE(ink1.right(), 126) << line1;
            EXPECT_TRUE(CMouseStatic::Line1Rect().contains(ink1)) << line1;
            EXPECT_GE(ink2.left(), 3);
            EXPECT_LE(ink2.right(), 126);
        }
    }
}

TEST_F(ToolWindow, SettingsDialogChecksInputAndOkWritesConfigIni)
{
    WriteConfig("[Firmware]\nPath=fw.hex\n[Device]\nVID=7247\nSerial number=4660\n");
    auto dlg = Open();
    // Base 4660 gives slot 1 the reserved 0x1234.
    std::array<std::int64_t, kSlotCount> serials{};
    for (int k = 0; k < kSlotCount; ++k) serials[k] = dlg->tool().serialEntry(k);
    CSettingDialog settings(dlg->iniPath(), 0, serials, sink);
    settings.OnInitDialog();
    EXPECT_EQ(TextOf(settings.control(1035)), "1c4f");
    EXPECT_EQ(TextOf(settings.control(1036)), "a014");  // the dialog's default PID
    EXPECT_EQ(TextOf(settings.control(1050)), "");      // emptied
    EXPECT_EQ(TextOf(settings.control(1051)), "1235");
    ASSERT_FALSE(sink.messages.empty());
    EXPECT_EQ(sink.messages.back().text, "輸入數字為非法保留數字，請重新輸入！");

    auto* serial = static_cast<QLineEdit*>(settings.control(1041));
    serial->setText("00g");
    EXPECT_EQ(serial->text(), "00");
    EXPECT_EQ(sink.messages.back().text, "輸入的字符非法，請輸入0～F之間的數字！");

    settings.show();
    EXPECT_TRUE(settings.control(1019)->isVisible());
    EXPECT_FALSE(settings.control(1035)->isVisible());
    static_cast<QTabBar*>(settings.control(1018))->setCurrentIndex(1);
    EXPECT_FALSE(settings.control(1019)->isVisible());
    EXPECT_TRUE(settings.control(1035)->isVisible());
    EXPECT_TRUE(settings.control(1050)->isVisible());
    EXPECT_FALSE(settings.control(1041)->isVisible());
    EXPECT_FALSE(settings.control(1051)->isVisible());

    // Through the main window: OK writes every key; the identity takes
    // effect at once.
    QTimer::singleShot(0, [] {
        auto* active = qobject_cast<CSettingDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(active, nullptr);
        static_cast<QLineEdit*>(active->control(1041))->setText("0010");
        static_cast<QLineEdit*>(active->control(1036))->setText("5dc4");
        static_cast<QAbstractButton*>(active->control(1))->click();
    });
    dlg->OnSettings();
    auto ini = IniFile::Load(dlg->iniPath());
    EXPECT_EQ(ini.GetString("Device", "Serial number", ""), "0010");
    EXPECT_EQ(ini.GetString("Device", "PID", ""), "24004");
    EXPECT_EQ(ini.GetString("Device", "VID", ""), "7247");
    EXPECT_EQ(ini.GetString("Device", "serial number Increase", ""), "1");
    EXPECT_EQ(ini.GetString("Device", "sensor direct", ""), "0");
    EXPECT_EQ(ini.GetString("Firmware", "Path", ""), dir.file("fw.hex"));
    EXPECT_EQ(TextOf(dlg->control(1017)).toStdString(), "Norvane_2015_10_12_0001" + dir.file("fw.hex"));
    EXPECT_EQ(dlg->tool().settings().pid, 0x5DC4u);
}

TEST_F(ToolWindow, AFirmwarePickedInSettingsThatFailsToConvertIsNeverBurned)
{
    auto device = Plug();
    auto dlg = Open();
    test::WriteText(dir.file("bad.hex"), test::Record(0xF000, {1}));
    test::WriteText(dir.file("bad.bin"), "image of an older bad.hex");
    QTimer::singleShot(0, [&] {
        auto* active = qobject_cast<CSettingDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(active, nullptr);
        active->SelectFirmware(dir.file("bad.hex"));
        static_cast<QAbstractButton*>(active->control(1))->click();
    });
    dlg->OnSettings();
    ASSERT_FALSE(sink.messages.empty());
    EXPECT_EQ(sink.messages.back().text, dir.file("bad.hex") + "對應目標文件超過60K！");
    EXPECT_FALSE(std::filesystem::exists(dir.file("bad.bin")));

    // Not even an old image that could not be removed is sent.
    test::WriteText(dir.file("bad.bin"), std::string(3000, 'x'));
    Burn(*dlg);
    EXPECT_EQ(dlg->slot(0)->line1(), "Open file fail");
    EXPECT_EQ(dlg->slot(0)->colour(), kRed);
    EXPECT_EQ(device->eraseCount(), 0);
    EXPECT_EQ(TextOf(dlg->control(1034)), "1");
}

TEST_F(ToolWindow, PickingAFirmwareRegeneratesItsImage)
{
    auto dlg = Open();
    test::WriteText(dir.file("fw.bin"), "old");
    CSettingDialog settings(dlg->iniPath(), 0, {}, sink);
    settings.OnInitDialog();
    settings.SelectFirmware(dir.file("fw.hex"));
    EXPECT_EQ(test::ReadAll(dir.file("fw.bin")).size(), 3000u);
    EXPECT_EQ(TextOf(settings.control(1020)).toStdString(), dir.file("fw.hex"));
}

}  // namespace
}  // namespace zr417::updater
