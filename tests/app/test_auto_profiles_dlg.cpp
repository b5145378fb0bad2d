// The automatic profiles dialog over its rules file: adding a running program
// and a program file, removing, the default and the switch, a rule whose
// profile is gone, a damaged file kept aside, and the texts in Chinese.
#include "app/auto_profiles.h"
#include "app/auto_profiles_dlg.h"
#include "config/keys.h"
#include "platform/files.h"
#include "tests/support/qt_app.h"
#include "tests/support/temp_dir.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>

#include <gtest/gtest.h>

#include <fstream>

namespace zr417 {
namespace {

namespace fs = std::filesystem;

// The window as automatic profiles see it; nothing switches in this test.
class NoWindow : public AutoProfileWindow {
public:
    explicit NoWindow(fs::path profiles) : profiles_(std::move(profiles)) {}
    Wait switchMustWait() override { return Wait::NoKeyboard; }
    void switchTo(const ConfigImage&, std::function<void(const std::string&)>) override {}
    bool whenIdle(std::function<void()>) override { return false; }
    std::uint64_t commitCount() const override { return 0; }
    fs::path profileDir() const override { return profiles_; }
    int language() const override { return kLanguageEnglish; }
    void setStatusText(const QString&) override {}
    void checkKeyboardAfterResume() override {}

private:
    fs::path profiles_;
};

std::string Text(const fs::path& file)
{
    auto bytes = ReadFileBytes(file);
    return bytes ? std::string(bytes->begin(), bytes->end()) : std::string("<missing>");
}

class AutoProfilesDlgTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { test::QtApp(); }
    void SetUp() override
    {
        fs::create_directories(profiles);
        for (const char* name : {"Office", "Racing"})
            ASSERT_TRUE(
                WriteFileAtomic(profiles / (std::string(name) + ".bin"), std::vector<std::uint8_t>(kImageSize, 0)));
    }
    AutoProfilesDlgSeams Seams()
    {
        AutoProfilesDlgSeams s;
        s.pickProgram = [this](QWidget*, const std::vector<std::string>& running) {
            offered = running;
            return std::optional<std::string>("racing-game");
        };
        s.chooseFile = [](QWidget*) { return std::optional<std::string>("/home/me/Games/Fly/Flight.exe"); };
        s.pickProfile = [](QWidget*, const std::string&, const std::vector<std::string>& names) {
            return std::optional<std::string>(names.back());
        };
        s.warn = [this](QWidget*, const QString& text) { warnings << text; };
        return s;
    }
    QStringList Column(const AutoProfilesDlg& dlg, int column)
    {
        QStringList out;
        for (int row = 0; row < dlg.table()->rowCount(); ++row) out << dlg.table()->item(row, column)->text();
        return out;
    }

    test::TempDir tmp;
    fs::path profiles = tmp.path() / "Configure";
    fs::path rulesFile = tmp.path() / "config" / "auto-profiles.conf";
    NoWindow window{profiles};
    AutoProfiles autoProfiles{window, rulesFile};
    std::vector<std::string> offered;
    QStringList warnings;
};

TEST_F(AutoProfilesDlgTest, EditsGoToTheFileAtOnceAndADamagedFileIsKept)
{
    AutoProfilesDlg dlg(autoProfiles, kLanguageEnglish, nullptr, Seams());
    EXPECT_EQ(dlg.windowTitle(), "Automatic profiles");
    EXPECT_EQ(dlg.table()->rowCount(), 0);

    dlg.addRunning();
    EXPECT_FALSE(offered.empty()) << "the user's running programs are offered";
    dlg.addFile();
    EXPECT_EQ(Column(dlg, 0), (QStringList{"racing-game", "Flight.exe"}));
    EXPECT_EQ(Column(dlg, 1), (QStringList{"Racing", "Racing"}));
    dlg.defaultBox()->setCurrentIndex(dlg.defaultBox()->findText("Office"));
    dlg.table()->selectRow(0);
    dlg.removeSelected();
    dlg.enabledBox()->setChecked(false);
    auto saved = LoadAutoRules(rulesFile);
    ASSERT_TRUE(std::holds_alternative<AutoRules>(saved)) << std::get<std::string>(saved);
    EXPECT_EQ(std::get<AutoRules>(saved), (AutoRules{false, "Office", {{"Flight.exe", "Racing"}}}));

    // The profile of a rule is deleted: the rule says so.
    fs::remove(profiles / "Racing.bin");
    autoProfiles.reload();
    AutoProfilesDlg again(autoProfiles, kLanguageEnglish, nullptr, Seams());
    EXPECT_EQ(Column(again, 1), (QStringList{"Racing (no such profile: switches nothing)"}));

    // A damaged file: shown, nothing can be edited, and starting over keeps it.
    const std::string damaged = "[rule]\nprogram=game\nprofile=Office\nprofile=Racing\n";
    std::ofstream(rulesFile) << damaged;
    AutoProfilesDlg broken(autoProfiles, kLanguageChinese, nullptr, Seams());
    EXPECT_EQ(broken.windowTitle(), "自动切换配置");
    EXPECT_FALSE(broken.table()->isEnabled());
    EXPECT_FALSE(broken.enabledBox()->isEnabled());
    EXPECT_EQ(Text(rulesFile), damaged);
    EXPECT_FALSE(autoProfiles.fileProblem().empty());
    auto startOver = broken.findChildren<QPushButton*>();
    auto button = std::find_if(startOver.begin(), startOver.end(),
                               [](QPushButton* b) { return b->text().startsWith("从空规则开始"); });
    ASSERT_NE(button, startOver.end());
    (*button)->click();
    EXPECT_EQ(Text(fs::path(rulesFile.string() + ".damaged")), damaged);
    EXPECT_TRUE(autoProfiles.fileProblem().empty());
    EXPECT_TRUE(broken.table()->isEnabled());
    EXPECT_TRUE(warnings.isEmpty()) << warnings.join("\n").toStdString();
}

}  // namespace
}  // namespace zr417
