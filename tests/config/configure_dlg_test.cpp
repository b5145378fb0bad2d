// The profile manager panel driven as a user drives it: drawn buttons, the
// context menu over the list, in-place renaming, the keys, its messages in
// both languages, and a whole session that ends with the loaded profile in
// the keyboard emulator.
#include "config/ui/configure_dlg.h"

#include "config/keys.h"
#include "controls/skin.h"
#include "controls/skin_names.h"
#include "platform/files.h"
#include "tests/device/fixtures.h"
#include "tests/support/process.h"
#include "tests/support/qt_app.h"

#include <QApplication>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <random>

namespace zr417 {
namespace {
namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using Rows = std::vector<std::string>;

QApplication& App()
{
    return test::QtApp();
}

void Pump()
{
    for (int i = 0; i < 3; ++i) QApplication::processEvents();
}

void Fill(ConfigImage& image, unsigned seed)
{
    std::mt19937 rng(seed);
    for (auto& b : image.settings) b = static_cast<std::uint8_t>(rng());
    for (auto& b : image.keyTable) b = static_cast<std::uint8_t>(rng());
}

struct Message {
    QString text, caption;
    bool okCancel;
};

class ConfigureDlgTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { App(); }

    void SetUp() override { fs::create_directories(paths.dataDir); }
    void TearDown() override { dlg.reset(); }

    fs::path folder() const { return paths.profileDir(); }
    fs::path file(std::string_view name) const { return folder() / (std::string(name) + ".bin"); }

    ProfileManagerSeams Seams()
    {
        ProfileManagerSeams s;
        s.messageBox = [this](QWidget*, const QString& text, const QString& caption, bool okCancel) {
            messages.push_back({text, caption, okCancel});
            return answer;
        };
        s.chooseFile = [this](QWidget*, ProfileStore::FileChoice, const fs::path& start) {
            dialogStarts.push_back(start);
            std::optional<fs::path> f;
            if (!files.empty()) {
                f = files.front();
                files.pop_front();
            }
            return f;
        };
        s.execMenu = [this](QMenu& menu, const QPoint&) -> QAction* {
            menuTexts.clear();
            QAction* chosen = nullptr;
            for (QAction* a : menu.actions()) {
                menuTexts << a->text();
                menuIds.push_back(a->data().toInt());
                if (a->text() == menuChoice) chosen = a;
            }
            return chosen;
        };
        s.pause = [this](std::chrono::milliseconds ms) { pauses.push_back(ms.count()); };
        s.openAutomaticProfiles = automatic;
        return s;
    }

    void Open(int language = kLanguageEnglish)
    {
        dlg.reset();
        dlg = std::make_unique<CConfigureDlg>(keymap, language, paths, mainRect, nullptr, Seams());
        dlg->show();
        Pump();
    }
    Rows ListRows() const
    {
        Rows r;
        for (int i = 0; i < dlg->list()->count(); ++i) r.push_back(dlg->list()->Text(i).toStdString());
        return r;
    }
    QPoint RowCentre(int row) const { return dlg->list()->visualItemRect(dlg->list()->item(row)).center(); }
    void ClickRow(std::string_view name)
    {
        int row = dlg->profiles().FindRow(name);
        ASSERT_GE(row, 0) << name;
        QTest::mouseClick(dlg->list()->viewport(), Qt::LeftButton, {}, RowCentre(row));
        Pump();
    }
    void Menu(const QString& choice, int row = 0)
    {
        menuChoice = choice;
        QTest::mousePress(dlg->list()->viewport(), Qt::RightButton, {}, QPoint(20, 5 + 20 * row));
        Pump();
    }
    void ClickPanel(QPoint p)
    {
        QTest::mouseClick(dlg.get(), Qt::LeftButton, {}, p);
        Pump();
    }
    void MakeProfiles(std::initializer_list<const char*> names)
    {
        fs::create_directories(folder());
        for (const char* n : names) WriteFileAtomic(file(n), Bytes(kImageSize, 0x11));
    }

    test::TempDir tmp;
    AppPaths paths{test::RuntimeDir(), tmp.path() / "data"};
    KeymapStore keymap{paths.keymapFile()};
    QRect mainRect{120, 80, 1000, 640};
    std::unique_ptr<CConfigureDlg> dlg;

    std::vector<Message> messages;
    bool answer = true;
    std::deque<fs::path> files;
    std::vector<fs::path> dialogStarts;
    QString menuChoice;
    QStringList menuTexts;
    std::vector<int> menuIds;
    std::vector<long> pauses;
    std::function<void(QWidget*)> automatic;
};

// --- where and how it is drawn --------------------------------------------------------

TEST_F(ConfigureDlgTest, PanelSitsOverTheMainWindowCornerWithTheListInside)
{
    Open();
    SkinFolder skins = SkinFolder::ForLanguage(paths, kLanguageEnglish, skins::kConfigFolder);
    const QImage& background = skins.Image(skins::config_panel::kBackground);
    ASSERT_FALSE(background.isNull());
    EXPECT_EQ(dlg->geometry(), QRect(QPoint(119, 79), background.size()));
    EXPECT_EQ(dlg->list()->geometry(), QRect(1, 34, 260, 540));
    EXPECT_EQ(dlg->list()->editMode(), kEditParentText);
    EXPECT_TRUE(fs::is_directory(folder()));  // made on opening
}

TEST_F(ConfigureDlgTest, SkinsAndLabelsAreDrawnAtTheirPlaces)
{
    Open();
    const QImage english = dlg->RenderFrame();
    SkinFolder skins = SkinFolder::ForLanguage(paths, kLanguageEnglish, skins::kConfigFolder);
    auto same = [&](std::string_view skin, QPoint at, QPoint inside) {
        const QImage& img = skins.Image(skin);
        ASSERT_FALSE(img.isNull()) << skin;
        EXPECT_EQ(english.pixel(at + inside) | 0xff000000u, img.pixel(inside) | 0xff000000u) << skin;
    };
    same(skins::config_panel::kCloseNormal, {247, 10}, {8, 8});
    same(skins::config_panel::kNew, {13, 575}, {3, 3});
    same(skins::config_panel::kDelete, {183, 575}, {3, 3});
    same(skins::config_panel::kBackground, {0, 0}, {130, 300});

    // Title and labels are white text, and they follow the language.
    auto whites = [](const QImage& img, QRect r) {
        int n = 0;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x) {
                const QRgb c = img.pixel(x, y);
                n += qRed(c) >= 200 && qGreen(c) >= 200 && qBlue(c) >= 200;
            }
        return n;
    };
    EXPECT_GT(whites(english, {10, 10, 60, 18}), 10);
    EXPECT_GT(whites(english, {30, 578, 40, 18}), 10);
    EXPECT_GT(whites(english, {200, 578, 45, 18}), 10);
    Open(kLanguageChinese);
    const QImage chinese = dlg->RenderFrame();
    EXPECT_NE(english.copy(10, 10, 60, 18), chinese.copy(10, 10, 60, 18));
    EXPECT_NE(english.copy(30, 578, 40, 18), chinese.copy(30, 578, 40, 18));

    // The list shows the panel's picture behind its rows.
    const QImage shot = dlg->list()->grab().toImage();
    EXPECT_EQ(shot.pixel(100, 500) | 0xff000000u, chinese.pixel(101, 534) | 0xff000000u);
}

// --- the drawn buttons and the keys ---------------------------------------------------------

TEST_F(ConfigureDlgTest, DrawnButtonsRunNewDeleteAndClose)
{
    Open();
    ClickPanel({14, 576});
    ClickPanel({79, 624});
    EXPECT_EQ(ListRows(), (Rows{"Profile_1", "Profile_2"}));
    ClickPanel({80, 600});  // just outside New
    EXPECT_EQ(ListRows().size(), 2u);

    ClickRow("Profile_1");
    ClickPanel({249, 600});
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Delete current profile ?");
    EXPECT_EQ(messages[0].caption, "Profile");
    EXPECT_TRUE(messages[0].okCancel);
    EXPECT_FALSE(fs::exists(file("Profile_1")));
    EXPECT_EQ(ListRows(), (Rows{"Profile_2"}));

    ClickPanel({255, 10});  // the close button starts below y = 10
    EXPECT_TRUE(dlg->isVisible());
    ClickPanel({262, 24});
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(dlg->result(), QDialog::Accepted);
}

TEST_F(ConfigureDlgTest, EnterStaysEscapeCloses)
{
    MakeProfiles({"A", "B"});
    Open();
    ClickRow("A");
    QTest::keyClick(dlg->list(), Qt::Key_Return);
    QTest::keyClick(dlg.get(), Qt::Key_Enter);
    Pump();
    EXPECT_TRUE(dlg->isVisible());

    // Escape meant for an open edit cancels the edit and keeps the panel.
    QTest::mouseDClick(dlg->list()->viewport(), Qt::LeftButton, {}, RowCentre(0));
    Pump();
    ASSERT_NE(dlg->list()->editor(), nullptr);
    QTest::keyClicks(dlg->list()->editor(), "Zed");
    QTest::keyClick(dlg->list()->editor(), Qt::Key_Escape);
    Pump();
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_FALSE(dlg->list()->editing());
    EXPECT_TRUE(fs::exists(file("A")));
    EXPECT_EQ(ListRows(), (Rows{"A", "B"}));

    QTest::keyClick(dlg->list(), Qt::Key_Escape);
    Pump();
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(dlg->result(), QDialog::Rejected);
}

// --- renaming in place ---------------------------------------------------------------------

TEST_F(ConfigureDlgTest, RenameInPlaceMovesTheFileAndRefusesBadNames)
{
    MakeProfiles({"Profile_1", "Profile_2"});
    Open();
    auto rename = [&](std::string_view row, const QString& typed) {
        ClickRow(row);
        QTest::mouseDClick(dlg->list()->viewport(), Qt::LeftButton, {}, RowCentre(dlg->profiles().FindRow(row)));
        Pump();
        ASSERT_NE(dlg->list()->editor(), nullptr);
        QTest::keyClick(dlg->list()->editor(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(dlg->list()->editor(), typed);
        QTest::keyClick(dlg->list()->editor(), Qt::Key_Return);
        Pump();
    };
    rename("Profile_1", "Work");
    EXPECT_FALSE(fs::exists(file("Profile_1")));
    EXPECT_EQ(ReadFileBytes(file("Work")), Bytes(kImageSize, 0x11));
    EXPECT_EQ(ListRows(), (Rows{"Profile_2", "Work"}));
    EXPECT_EQ(pauses, (std::vector<long>{100, 200, 300}));
    EXPECT_TRUE(dlg->isVisible());  // Enter ended the edit, not the panel

    rename("Work", "Profile_2");  // taken: nothing moves
    EXPECT_TRUE(fs::exists(file("Work")));
    EXPECT_EQ(ListRows(), (Rows{"Profile_2", "Work"}));
    EXPECT_TRUE(messages.empty());

    rename("Work", "../outside");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.startsWith("This name cannot be used for a profile file."));
    EXPECT_EQ(messages[0].caption, "Profile");
    EXPECT_FALSE(fs::exists(paths.dataDir / "outside.bin"));
    EXPECT_EQ(ListRows(), (Rows{"Profile_2", "Work"}));

    // Closing the panel with an edit open commits it, as clicking elsewhere does.
    ClickRow("Work");
    QTest::mouseDClick(dlg->list()->viewport(), Qt::LeftButton, {}, RowCentre(1));
    Pump();
    ASSERT_NE(dlg->list()->editor(), nullptr);
    dlg->list()->editor()->setText("Late");
    ClickPanel({255, 15});
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_TRUE(fs::exists(file("Late")));
}

// --- the context menu and the messages --------------------------------------------------------

TEST_F(ConfigureDlgTest, ContextMenuInBothLanguagesRunsTheChosenCommand)
{
    MakeProfiles({"P"});
    Open();
    ClickRow("P");
    Menu("Copy", 3);  // below the rows: the menu opens all the same
    EXPECT_EQ(menuTexts, (QStringList{"New", "Copy", "Save", "Load", "Delete"}));
    EXPECT_EQ(menuIds, (std::vector<int>{32785, 32817, 32786, 32787, 32788}));
    EXPECT_EQ(ListRows(), (Rows{"Copy of  P", "P"}));

    Open(kLanguageChinese);
    ClickRow("P");
    Menu("复制");
    EXPECT_EQ(menuTexts, (QStringList{"新建", "复制", "保存", "加载", "删除"}));
    EXPECT_TRUE(fs::exists(file("复制  P")));

    // A right-click does not select: Save without a selection asks for one.
    Menu("保存");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "请选择一个配置存储");
    EXPECT_EQ(messages[0].caption, "配置管理");
    EXPECT_FALSE(messages[0].okCancel);

    // The program adds an item of its own at the end: automatic profiles,
    // opened over the panel.
    QWidget* openedOver = nullptr;
    automatic = [&](QWidget* parent) { openedOver = parent; };
    Open(kLanguageChinese);
    Menu("自动切换配置…");
    EXPECT_EQ(menuTexts.back(), "自动切换配置…");
    EXPECT_EQ(openedOver, dlg.get());
}

TEST_F(ConfigureDlgTest, MessagesFollowTheLanguage)
{
    MakeProfiles({"a", "b", "c", "d", "e", "f"});
    const std::pair<int, std::vector<QString>> cases[] = {
        {kLanguageEnglish,
         {"Only Create Six Profile mostly\n", "Please select a profile to Open\n", "Please select a profile to copy\n",
          "Please select a profile to delete\n"}},
        {kLanguageChinese, {"最多可以存储6个配置\n", "请选择一个配置打开", "请选择一个配置拷贝", "请选择一个配置删除"}},
    };
    for (const auto& [language, texts] : cases) {
        messages.clear();
        Open(language);
        ClickPanel({40, 600});  // New with six
        Menu(language == kLanguageChinese ? "加载" : "Load");
        Menu(language == kLanguageChinese ? "复制" : "Copy");
        ClickPanel({200, 600});  // Delete
        ASSERT_EQ(messages.size(), texts.size());
        for (std::size_t i = 0; i < texts.size(); ++i) {
            EXPECT_EQ(messages[i].text, texts[i]);
            EXPECT_EQ(messages[i].caption, language == kLanguageChinese ? "配置管理" : "Profile");
        }
    }
    EXPECT_EQ(ListRows().size(), 6u);
}

TEST_F(ConfigureDlgTest, RunProfileManagerEndsOnEscape)
{
    MakeProfiles({"A"});
    std::size_t rows = 0;
    QTimer::singleShot(50, [&] {
        auto* panel = qobject_cast<CConfigureDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(panel, nullptr);
        rows = panel->profiles().rows().size();
        QTest::keyClick(panel, Qt::Key_Escape);
    });
    EXPECT_EQ(RunProfileManager(nullptr, mainRect, keymap, kLanguageEnglish, paths, Seams()), QDialog::Rejected);
    EXPECT_EQ(rows, 1u);
}

// --- a whole session against the keyboard emulator ----------------------------------------------

TEST_F(ConfigureDlgTest, SixProfilesSaveChangeLoadBackAndSendToTheKeyboard)
{
    zr417::testing::EmulatedKeyboard kb("QV310");
    auto noPause = [](std::chrono::milliseconds) {};
    DeviceLink link{kb.bus, DeviceLink::Events{}, noPause};
    link.OpenDeviceHandles();
    ASSERT_TRUE(link.g_hCommandDev());
    KeyboardProtocol protocol{link, keymap.current(), noPause};

    keymap.Startup();
    Fill(keymap.current(), 1);
    keymap.RefreshKeyCodes();
    const ConfigImage configured = keymap.current();

    // Six profiles; a seventh is refused.
    Open();
    for (int i = 0; i < 7; ++i) ClickPanel({40, 600});
    EXPECT_EQ(ListRows(), (Rows{"Profile_1", "Profile_2", "Profile_3", "Profile_4", "Profile_5", "Profile_6"}));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Only Create Six Profile mostly\n");

    // Save the configuration into Profile_4 (no extra file), then close.
    ClickRow("Profile_4");
    Menu("Save");
    ClickPanel({255, 15});
    EXPECT_EQ(dialogStarts, std::vector<fs::path>{paths.dataDir});
    protocol.DownloadAll();
    const auto sentFirst = kb.keyboard->memory();

    // Change everything and send that.
    Fill(keymap.current(), 2);
    keymap.RefreshKeyCodes();
    protocol.DownloadAll();
    ASSERT_NE(kb.keyboard->memory(), sentFirst);

    // Load Profile_4 back (chosen in the open dialog), close, Save to the keyboard.
    Open();
    ClickRow("Profile_4");
    files.push_back(file("Profile_4"));
    Menu("Load");
    ClickPanel({255, 15});
    EXPECT_EQ(keymap.current(), configured);
    keymap.SaveKeymapFile();
    protocol.DownloadAll();
    EXPECT_EQ(protocol.failures(), 0);
    EXPECT_EQ(kb.keyboard->memory(), sentFirst);
    EXPECT_EQ(0, std::memcmp(kb.keyboard->memory().matrix.data(),
                             keymap.current().settings.data() + settings::KeyMatrix + 1, 512));
    EXPECT_EQ(ReadFileBytes(file("Profile_4"))->size(), kImageSize);
    EXPECT_EQ(messages.size(), 1u);
}

}  // namespace
}  // namespace zr417
