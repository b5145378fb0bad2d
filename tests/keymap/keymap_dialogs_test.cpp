// The key assignment dialogs driven as a user drives them: mouse events at
// the dialogs' coordinates, keys through the application-wide key capture,
// then what the dialog left in the key table, keymap.bin, the key-matrix
// planes, and the emulated keyboard after a download.
#include "keymap/keymap_dialogs.h"
#include "tests/support/qt_app.h"
#include "tests/support/temp_dir.h"

#include "config/image.h"
#include "config/keys.h"
#include "controls/vivid_tree.h"
#include "device/device_link.h"
#include "device/emu/emulated_bus.h"
#include "device/emu/keyboard_emulator.h"
#include "device/input_listener.h"
#include "device/protocol.h"
#include "keymap/key_assignment.h"
#include "keymap/key_hook.h"
#include "macro/macro_store.h"
#include "platform/trace.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QTest>
#include <QTimer>

#include <stdlib.h>
#include <sys/stat.h>
#include <deque>
#include <fstream>
#include <mutex>

namespace zr417 {
namespace {
namespace fs = std::filesystem;

const auto* const kQtEnvironment = ::testing::AddGlobalTestEnvironment(new test::QtAppEnvironment);

constexpr int kQV310 = 1;
constexpr int kQV420 = 2;
constexpr int kKeyA = 59;
constexpr int kKeyF1 = 1;
constexpr int kKeyEsc = 0;

fs::path RuntimeDir()
{
    const char* dir = std::getenv("ZR417_RUNTIME_DIR");
    return dir ? fs::path(dir) : fs::current_path();
}

QPoint Center(const QRect& r)
{
    return r.center();
}

class KeymapDialogsTest : public ::testing::Test {
public:
    void SetUp() override
    {
        dir = tmp.path();
        paths = AppPaths{RuntimeDir(), dir};
        ASSERT_TRUE(fs::exists(paths.skinDir(kLanguageEnglish) / "Custom" / "Custom_BK.png"))
            << "skins missing under " << paths.exeDir;
        store = std::make_unique<KeymapStore>(paths.keymapFile());
        store->Startup();
        // As read from a keyboard: every key sends its own code.
        for (int k = 0; k < kKeyCount; ++k)
            store->current().plane(0, g_matrixPosByKey[k]) = KeyCode(g_defaultVkByKey[k]);
        ASSERT_TRUE(store->SaveKeymapFile());
        for (int i = 0; i < 3; ++i) {
            SetMacroName(macros[i], "macro " + std::to_string(i));
            macros[i].deviceSteps[0] = {0x01, static_cast<std::uint8_t>(0x04 + i), 0, 0};
            macros[i].deviceSteps[1] = {0x81, static_cast<std::uint8_t>(0x04 + i), 0, 30};
        }

        services.message = [this](QWidget*, const QString& text) { messages.push_back(text); };
        services.choosePath = [this](QWidget*, int row, const QString&) -> std::optional<QString> {
            chooserRows.push_back(row);
            if (answers.empty()) return std::nullopt;
            auto a = answers.front();
            answers.pop_front();
            return a;
        };
        services.installHook = [](QWidget* w, int mode) { return installhook(w, mode); };
        services.removeHook = [] { removehook(); };
    }
    void TearDown() override
    {
        removehook();
        fs::remove_all(dir);
    }

    // A key click of the main window: RunKeyAssignment with the model's
    // dialog, run modally; `script` drives it while it is open.
    using Script = std::function<void(KeymapDialogBase&)>;
    RunResult ClickKey(int model, int key, const Script& script, int language = kLanguageEnglish)
    {
        bool ran = false;
        QTimer::singleShot(0, [&] {
            auto* d = qobject_cast<KeymapDialogBase*>(QApplication::activeModalWidget());
            if (!d) return;
            ran = true;
            Settle(*d);
            script(*d);
            if (d->isVisible() && !d->logic().result()) d->close();  // a failed script must not leave the loop running
        });
        RunResult r = RunKeyAssignment(state, *store, macros, key, language,
                                       KeyAssignmentDialogFor(nullptr, model, macros, language, paths, services));
        EXPECT_TRUE(ran) << "no modal dialog came up";
        return r;
    }

    static void Settle(QWidget& d)
    {
        d.activateWindow();
        (void)QTest::qWaitForWindowActive(&d, 1000);  // focus helps, but key events reach it anyway
        QApplication::processEvents();
    }
    static void Click(QWidget& d, int x, int y)
    {
        QTest::mouseClick(&d, Qt::LeftButton, Qt::NoModifier, QPoint(x, y));
        QApplication::processEvents();
    }
    // Keys as a user types them: through the key capture, which posts them
    // to the dialog.
    static void Type(QWidget& d, std::initializer_list<Qt::Key> keys)
    {
        for (Qt::Key k : keys) {
            QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : &d;
            QTest::keyClick(target, k);
            QApplication::processEvents();
        }
    }
    static void ClickTreeItem(KeymapDialogBase& d, QTreeWidgetItem* item)
    {
        ASSERT_TRUE(item);
        if (item->parent()) item->parent()->setExpanded(true);  // as a click on its marker does
        d.tree()->scrollToItem(item);
        QApplication::processEvents();
        QTest::mouseClick(d.tree()->viewport(), Qt::LeftButton, Qt::NoModifier, Center(d.tree()->visualItemRect(item)));
        QApplication::processEvents();
    }
    static int TreeIndex(std::string_view english)
    {
        auto items = BasicTreeItems();
        for (std::size_t i = 0; i < items.size(); ++i) {
            std::string_view label =
                items[i].heading ? kBasicGroups[items[i].index].english : g_basicFunctions[items[i].index].english;
            if (label == english) return static_cast<int>(i);
        }
        return -1;
    }

    ConfigImage FileImage()
    {
        KeymapStore other(store->file());
        EXPECT_TRUE(other.LoadKeymapFile());
        return other.current();
    }
    static std::array<std::uint8_t, 4> Planes(const ConfigImage& img, int key)
    {
        std::size_t pos = g_matrixPosByKey[static_cast<std::size_t>(key)];
        return {img.plane(0, pos), img.plane(1, pos), img.plane(2, pos), img.plane(3, pos)};
    }

    zr417::test::TempDir tmp{"keydlg-ui"};
    fs::path dir;
    AppPaths paths;
    std::unique_ptr<KeymapStore> store;
    MacroTable macros;
    KeyAssignmentState state;
    KeymapDialogServices services;
    std::vector<QString> messages;
    std::deque<std::optional<QString>> answers;
    std::vector<int> chooserRows;
};

using Planes4 = std::array<std::uint8_t, 4>;

// --- assignments through the dialogs -----------------------------------------------

TEST_F(KeymapDialogsTest, CombinationThroughTheKeyCaptureKeepsOnlyTheFourthKey)
{
    std::string afterThree, afterFour, singleBox;
    int count = -1;
    auto r = ClickKey(kQV310, kKeyA, [&](KeymapDialogBase& d) {
        ASSERT_TRUE(d.combineBox()->isVisible());
        QTest::mouseClick(d.combineBox(), Qt::LeftButton);
        QApplication::processEvents();
        EXPECT_TRUE(d.combineBox()->hasFocus());
        Type(d, {Qt::Key_Control, Qt::Key_Shift, Qt::Key_A});
        afterThree = d.combineBox()->text().toStdString();
        Type(d, {Qt::Key_B});
        afterFour = d.combineBox()->text().toStdString();
        count = state.g_nKeyCount();
        singleBox = d.singleBox()->text().toStdString();
        Click(d, 280, 255);
    });
    ASSERT_EQ(r, RunResult::Applied);
    EXPECT_EQ(afterThree, "LCtrl + LShift + A ");
    EXPECT_EQ(afterFour, "B ");
    EXPECT_EQ(count, 1);
    EXPECT_EQ(singleBox, "");

    ConfigImage file = FileImage();
    const std::uint8_t* e = file.entry(kKeyA);
    EXPECT_EQ(e[entry::Kind], kind::Combination);
    EXPECT_EQ(e[entry::Count], 1);
    EXPECT_EQ(e[entry::Data], 0x42);
    EXPECT_EQ(e[entry::Data + 1], 0);
    EXPECT_EQ(Planes(file, kKeyA), (Planes4{0x05, 1, 0, 0}));
}

TEST_F(KeymapDialogsTest, TypedKeysNeverReachTheBoxesAndEnterEscNeverClose)
{
    // With the key capture: the box shows the captured key's name only.
    ClickKey(kQV310, kKeyA, [&](KeymapDialogBase& d) {
        QTest::mouseClick(d.singleBox(), Qt::LeftButton);
        QTest::keyClicks(d.singleBox(), "xy");
        QApplication::processEvents();
        EXPECT_EQ(d.singleBox()->text(), "Y ");
        Type(d, {Qt::Key_Escape, Qt::Key_Return});
        EXPECT_TRUE(d.isVisible());
        EXPECT_FALSE(d.logic().result());
        EXPECT_EQ(d.singleBox()->text(), "Enter ");
        Click(d, 230, 255);
    });

    // Without it (the capture refused): still nothing typed, nothing closes.
    services.installHook = [](QWidget*, int) { return false; };
    bool removed = false;
    services.removeHook = [&] { removed = true; };
    ClickKey(kQV310, kKeyA, [&](KeymapDialogBase& d) {
        QTest::mouseClick(d.singleBox(), Qt::LeftButton);
        QTest::keyClicks(d.singleBox(), "xy");
        QTest::keyClick(d.singleBox(), Qt::Key_Escape);
        QTest::keyClick(d.singleBox(), Qt::Key_Return);
        QTest::keyClick(&d, Qt::Key_Escape);
        QApplication::processEvents();
        EXPECT_TRUE(d.isVisible());
        EXPECT_EQ(d.singleBox()->text(), "");
        Click(d, 230, 255);
    });
    EXPECT_FALSE(removed);
}

TEST_F(KeymapDialogsTest, NextIsPreselectedAfterReopening)
{
    auto r = ClickKey(kQV310, kKeyF1, [&](KeymapDialogBase& d) {
        Click(d, 200, 40);
        EXPECT_TRUE(d.tree()->isVisible());
        EXPECT_EQ(d.tree()->currentItem(), d.treeItem(0));  // "Search"
        ClickTreeItem(d, d.treeItem(TreeIndex("Next")));
        Click(d, 280, 255);
    });
    ASSERT_EQ(r, RunResult::Applied);
    EXPECT_EQ(Planes(FileImage(), kKeyF1), (Planes4{0xE8, 0, 0, 0}));
    EXPECT_EQ(FileImage().entry(kKeyF1)[entry::Data + 2], 0xB5);

    state.SetFunction("Stop");
    QString selected;
    bool expanded = false, treeShown = false;
    ClickKey(kQV310, kKeyF1, [&](KeymapDialogBase& d) {
        treeShown = d.tree()->isVisible();
        if (QTreeWidgetItem* item = d.tree()->currentItem()) {
            selected = item->text(0);
            expanded = item->parent() && item->parent()->isExpanded();
        }
        Click(d, 230, 255);
    });
    EXPECT_TRUE(treeShown);
    EXPECT_EQ(selected, "Next");
    EXPECT_TRUE(expanded);
}

TEST_F(KeymapDialogsTest, ChineseHeadingAsksForASubItem)
{
    bool stillOpen = false;
    auto r = ClickKey(
        kQV310, kKeyF1,
        [&](KeymapDialogBase& d) {
            Click(d, 200, 40);
            QTreeWidgetItem* heading = d.treeItem(TreeIndex("Media"));
            ASSERT_TRUE(heading);
            EXPECT_EQ(heading->text(0), "多媒体");
            ClickTreeItem(d, heading);
            Click(d, 280, 255);
            stillOpen = d.isVisible() && !d.logic().result();
            ClickTreeItem(d, d.treeItem(TreeIndex("Mute")));
            Click(d, 280, 255);
        },
        kLanguageChinese);
    EXPECT_TRUE(stillOpen);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "请选择子项");
    ASSERT_EQ(r, RunResult::Applied);
    EXPECT_EQ(state.g_szFunction(), "静音");
    EXPECT_EQ(Planes(FileImage(), kKeyF1), (Planes4{0xEC, 0, 0, 0}));
}

TEST_F(KeymapDialogsTest, TheMacroListShowsNoSelectionThatIsNotThere)
{
    for (int model : {kQV310, kQV420}) {
        auto r = ClickKey(model, kKeyA, [&](KeymapDialogBase& d) {
            Click(d, model == kQV310 ? 120 : 160, 40);  // the Macro tab: the list has the focus, nothing chosen
            QListWidget* list = d.macroList();
            ASSERT_TRUE(list->isVisible());
            ASSERT_TRUE(list->hasFocus());
            ASSERT_TRUE(list->selectedItems().isEmpty());
            // Row 0 holds grey background and white text only: no focus
            // frame or bar that reads as a chosen macro.
            const QImage image = list->viewport()->grab().toImage();
            const QRect row = list->visualItemRect(list->item(0));
            int coloured = 0;
            for (int y = row.top(); y <= row.bottom(); ++y)
                for (int x = row.left(); x <= row.right(); ++x) {
                    const QColor c = image.pixelColor(x, y);
                    if (std::max({c.red(), c.green(), c.blue()}) - std::min({c.red(), c.green(), c.blue()}) > 6)
                        ++coloured;
                }
            EXPECT_EQ(coloured, 0) << "model " << model;
            Click(d, 280, 255);  // Save: no macro chosen disables the key, as the list shows
        });
        EXPECT_EQ(r, RunResult::Applied);
        EXPECT_EQ(state.g_nPendingKind(), 8);
    }
}

TEST_F(KeymapDialogsTest, SecondModelTabsAndTraceLines)
{
    TraceCapture trace;
    bool basic = false;
    ClickKey(kQV420, kKeyA, [&](KeymapDialogBase& d) {
        EXPECT_EQ(d.width(), 325);
        EXPECT_EQ(d.singleBox()->objectName(), "1021");
        EXPECT_EQ(d.combineBox()->objectName(), "1023");
        Click(d, 300, 40);
        basic = d.logic().tab() == keymap_tab::Basic && d.tree()->isVisible();
        d.repaint();
        Click(d, 230, 255);
    });
    EXPECT_TRUE(basic);
    EXPECT_EQ(trace.count("420 init\n"), 1);
    EXPECT_GE(trace.count("420 OnPaint\n"), 1);
}

TEST_F(KeymapDialogsTest, SecondModelSaveKeepsAnAdvancedAssignment)
{
    // Made on the first model (or loaded from a profile of it).
    answers = {QStringLiteral("/usr/share/sounds/alert.ogg")};
    ASSERT_EQ(ClickKey(kQV310, kKeyEsc,
                       [&](KeymapDialogBase& d) {
                           Click(d, 300, 40);
                           Click(d, 270, 75);
                           Click(d, 280, 255);
                       }),
              RunResult::Applied);
    const ConfigImage before = FileImage();
    ASSERT_EQ(before.entry(kKeyEsc)[entry::Kind], kind::PlaySound);

    bool allHidden = false;
    auto r = ClickKey(kQV420, kKeyEsc, [&](KeymapDialogBase& d) {
        allHidden = !d.tree()->isVisible() && !d.singleBox()->isVisible() && !d.combineBox()->isVisible() &&
                    !d.macroList()->isVisible();
        Click(d, 270, 75);  // no browse button here
        Click(d, 20, 75);
        Click(d, 280, 255);
    });
    EXPECT_TRUE(allHidden);
    EXPECT_EQ(chooserRows.size(), 1u);
    ASSERT_EQ(r, RunResult::Applied);
    const ConfigImage after = FileImage();
    EXPECT_TRUE(std::equal(before.entry(kKeyEsc), before.entry(kKeyEsc) + kKeyEntrySize, after.entry(kKeyEsc)));
    EXPECT_EQ(Planes(after, kKeyEsc), (Planes4{0xFA, 0, 0, 0}));
}

TEST_F(KeymapDialogsTest, ChoosersAndMessagesGetTheKeysWhileTheyAreUp)
{
    std::vector<QWidget*> heldDuring;
    auto chooser = services.choosePath;
    services.choosePath = [&](QWidget* w, int row, const QString& current) {
        heldDuring.push_back(hookedWindow());
        return chooser(w, row, current);
    };
    services.message = [&](QWidget*, const QString&) { heldDuring.push_back(hookedWindow()); };
    QWidget* heldAfter = nullptr;
    ClickKey(kQV310, kKeyA, [&](KeymapDialogBase& d) {
        Click(d, 300, 40);
        Click(d, 270, 135);  // browse, cancelled
        Click(d, 200, 40);
        ClickTreeItem(d, d.treeItem(TreeIndex("Media")));
        Click(d, 280, 255);  // heading: message
        heldAfter = hookedWindow();
        Click(d, 230, 255);
    });
    EXPECT_EQ(heldDuring, (std::vector<QWidget*>{nullptr, nullptr}));
    EXPECT_NE(heldAfter, nullptr);  // the dialog has it back
    EXPECT_EQ(hookedWindow(), nullptr);
}

TEST_F(KeymapDialogsTest, DraggingOutsideTheButtonsMovesTheWindowWithoutAClick)
{
    ClickKey(kQV310, kKeyA, [&](KeymapDialogBase& d) {
        Click(d, 300, 40);  // Advance: a click outside the rows would change the kind
        state.SetPendingKind(kind::None);
        const QPoint start = d.pos();
        QTest::mousePress(&d, Qt::LeftButton, Qt::NoModifier, QPoint(150, 220));
        QTest::mouseMove(&d, QPoint(190, 240));
        QTest::mouseMove(&d, QPoint(200, 250));
        QTest::mouseRelease(&d, Qt::LeftButton, Qt::NoModifier, QPoint(200, 250));
        QApplication::processEvents();
        EXPECT_NE(d.pos(), start);
        EXPECT_EQ(state.g_nPendingKind(), kind::None);  // the drag's release was no click
        Click(d, 230, 255);
    });
}

// --- the choosers --------------------------------------------------------------------

class ActionChoosers : public ::testing::Test {
public:
    void SetUp() override
    {
        dir = tmp.path();
        for (const char* name : {"tool", "notes.txt", "bell.oga"}) std::ofstream(dir / name) << "x";
        ::chmod((dir / "tool").c_str(), 0755);
        ::chmod((dir / "notes.txt").c_str(), 0644);
        fs::create_directory(dir / "Music");
    }
    // Runs the chooser of `row`; `answer` drives its dialog (nothing: Cancel).
    // `listed` receives the names the dialog shows in its start folder.
    std::optional<QString> Choose(int row, const QString& answer, QString* title = nullptr,
                                  QStringList* listed = nullptr)
    {
        QTimer::singleShot(0, [&] {
            auto* fd = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!fd) return;
            if (title) *title = fd->windowTitle();
            if (listed) {
                auto* view = fd->findChild<QListView*>(QStringLiteral("listView"));
                // The folder is read in the background.
                if (view && QTest::qWaitFor([&] { return view->model()->rowCount(view->rootIndex()) > 0; }, 3000))
                    QTest::qWait(200);
                for (int i = 0; view && i < view->model()->rowCount(view->rootIndex()); ++i) {
                    const QModelIndex entry = view->model()->index(i, 0, view->rootIndex());
                    *listed << entry.data().toString();
                    // Chosen as a user does, by clicking it in the list.
                    if (entry.data().toString() == QFileInfo(answer).fileName()) view->setCurrentIndex(entry);
                }
                listed->sort();
                if (!fd->selectedFiles().value(0).isEmpty()) {
                    static_cast<QDialog*>(fd)->accept();
                    if (fd->isVisible()) fd->reject();
                    return;
                }
            }
            if (answer.isEmpty()) {
                fd->reject();
                return;
            }
            fd->selectFile(answer);
            static_cast<QDialog*>(fd)->accept();  // QFileDialog::accept, as its Open button
            if (fd->isVisible()) fd->reject();    // the dialog refused the answer
        });
        return ChooseActionPath(nullptr, row, QString::fromStdString((dir / "tool").string()));
    }
    QString P(const char* name) const { return QString::fromStdString((dir / name).string()); }

    zr417::test::TempDir tmp{"choosers"};
    fs::path dir;
};

TEST_F(ActionChoosers, ProgramsAreExecutableFilesGivenWithTheirAbsolutePath)
{
    QStringList listed;
    EXPECT_EQ(Choose(1, P("tool"), nullptr, &listed), P("tool"));
    EXPECT_EQ(listed, (QStringList{"Music", "tool"}));  // folders and programs, nothing else
    EXPECT_EQ(Choose(1, P("notes.txt")), std::nullopt);
    EXPECT_EQ(Choose(1, QString()), std::nullopt);
}

TEST_F(ActionChoosers, SoundFileAndFolder)
{
    EXPECT_EQ(Choose(0, P("bell.oga")), P("bell.oga"));
    EXPECT_EQ(Choose(2, P("notes.txt")), P("notes.txt"));
    QString title;
    EXPECT_EQ(Choose(3, P("Music"), &title), P("Music"));
    EXPECT_EQ(title, "modification path");
    EXPECT_EQ(Choose(3, QString()), std::nullopt);
}

// --- every kind, from the click to the emulated keyboard --------------------------

struct KindCase {
    const char* name;
    int model;
    int key;
    std::function<void(KeymapDialogsTest&, KeymapDialogBase&)> script;
    std::uint8_t entryKind;
    Planes4 planes;
    const char* path;  // Advanced kinds
};

class EveryKind : public KeymapDialogsTest, public ::testing::WithParamInterface<KindCase> {
public:
    void Drive(KeymapDialogBase& d) { GetParam().script(*this, d); }
};

TEST_P(EveryKind, ReachesTheKeyTableTheFileAndTheKeyboard)
{
    const KindCase& c = GetParam();
    auto r = ClickKey(c.model, c.key, [&](KeymapDialogBase& d) { Drive(d); });
    ASSERT_EQ(r, RunResult::Applied);

    // The key table entry and planes in memory, and the same in keymap.bin.
    const std::uint8_t* e = store->current().entry(c.key);
    EXPECT_EQ(e[entry::Kind], c.entryKind);
    EXPECT_EQ(Planes(store->current(), c.key), c.planes);
    ConfigImage file = FileImage();
    EXPECT_EQ(file.entry(c.key)[entry::Kind], c.entryKind);
    EXPECT_EQ(Planes(file, c.key), c.planes);
    EXPECT_EQ(state.g_abKeyChanged()[c.key], 1);  // the picture marks the key
    if (c.path) {
        EXPECT_EQ(QString::fromStdU16String(ReadEntryPath(e)), QString::fromUtf8(c.path));
    }

    // Save: the full download into the emulated keyboard of the model.
    auto keyboard = std::make_shared<emu::KeyboardEmulator>(
        *FindKeyboardIdentity(c.model == kQV310 ? std::string_view("QV310") : std::string_view("QV420")));
    emu::EmulatedBus bus;
    bus.plug(keyboard);
    bus.drainEvents();
    std::mutex mutex;
    std::vector<std::uint8_t> codes;
    auto noPause = [](std::chrono::milliseconds) {};
    DeviceLink link(bus,
                    {{},
                     [&](std::uint8_t code) {
                         std::lock_guard lock(mutex);
                         codes.push_back(code);
                     },
                     {}},
                    noPause);
    ASSERT_TRUE(link.OpenAtStartup());
    KeyboardProtocol protocol(link, store->current(), noPause);
    protocol.DownloadAll();
    const auto memory = keyboard->memory();
    const std::size_t pos = g_matrixPosByKey[static_cast<std::size_t>(c.key)];
    for (int p = 0; p < 4; ++p)
        EXPECT_EQ(memory.matrix[static_cast<std::size_t>(p) * settings::PlaneSize + pos], c.planes[p]) << "plane " << p;

    if (c.path) {
        // The keyboard reports the key; the host finds the action to open.
        ASSERT_TRUE(keyboard->pressKey(static_cast<int>(pos)));
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                std::lock_guard lock(mutex);
                return !codes.empty();
            },
            3000));
        std::optional<HostAction> opened;
        OnKeyEvent(store->current(), codes.front(), [&](const HostAction& a) { opened = a; });
        ASSERT_TRUE(opened);
        EXPECT_EQ(opened->kind, c.entryKind);
        EXPECT_EQ(opened->directory + "/" + opened->file, c.path);
    }
    link.Shutdown();
}

void BrowseRow(KeymapDialogBase& d, int row)
{
    QTest::mouseClick(&d, Qt::LeftButton, Qt::NoModifier, QPoint(300, 40));
    QTest::mouseClick(&d, Qt::LeftButton, Qt::NoModifier, QPoint(270, 75 + 30 * row));
    QTest::mouseClick(&d, Qt::LeftButton, Qt::NoModifier, QPoint(280, 255));
}

std::vector<KindCase> Cases()
{
    auto single = [](KeymapDialogsTest&, KeymapDialogBase& d) {
        QTest::mouseClick(d.singleBox(), Qt::LeftButton);
        QApplication::processEvents();
        QTest::keyClick(d.singleBox(), Qt::Key_B);
        QApplication::processEvents();
        QTest::mouseClick(&d, Qt::LeftButton, Qt::NoModifier, QPoint(280, 255));
    };
    auto combo = [](KeymapDialogsTest&, KeymapDialogBase& d) {
        QTest::mouseClick(d.combineBox(), Qt::LeftButton);
        QApplication::processEvents();
        QTest::keyClick(d.combineBox(), Qt::Key_Control);
        QTest::keyClick(d.combineBox(), Qt::Key_C);
        QApplication::processEvents();
        QTest::mouseClick(&d, Qt::LeftButton, Qt::NoModifier, QPoint(280, 255));
    };
    auto macro = [](KeymapDialogsTest&, KeymapDialogBase& d) {
        QTest::mouseClick(&d, Qt::LeftButton, Qt::NoModifier, QPoint(120, 40));
        QApplication::processEvents();
        QListWidget* list = d.macroList();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier,
                          list->visualItemRect(list->item(1)).center());
        QTest::mouseClick(&d, Qt::LeftButton, Qt::NoModifier, QPoint(280, 255));
    };
    auto basic = [](KeymapDialogsTest&, KeymapDialogBase& d) {
        // The Basic tab is wider on the second model.
        QTest::mouseClick(&d, Qt::LeftButton, Qt::NoModifier, QPoint(d.logic().secondModel() ? 230 : 200, 40));
        QApplication::processEvents();
        // "Copy" under "Shortcut".
        QTreeWidgetItem* item = d.treeItem(KeymapDialogsTest::TreeIndex("Copy"));
        item->parent()->setExpanded(true);
        d.tree()->scrollToItem(item);
        QApplication::processEvents();
        QTest::mouseClick(d.tree()->viewport(), Qt::LeftButton, Qt::NoModifier,
                          d.tree()->visualItemRect(item).center());
        QTest::mouseClick(&d, Qt::LeftButton, Qt::NoModifier, QPoint(280, 255));
    };
    auto disable = [](KeymapDialogsTest&, KeymapDialogBase& d) {
        QTest::mouseClick(&d, Qt::LeftButton, Qt::NoModifier, QPoint(24, 255));  // toggle
        QTest::mouseClick(d.singleBox(), Qt::LeftButton);
        QApplication::processEvents();
        QTest::keyClick(d.singleBox(), Qt::Key_B);
        QApplication::processEvents();
        QTest::mouseClick(&d, Qt::LeftButton, Qt::NoModifier, QPoint(280, 255));
    };
    auto advanced = [](int row, const char* path) {
        return [row, path](KeymapDialogsTest& t, KeymapDialogBase& d) {
            t.answers = {QString::fromUtf8(path)};
            BrowseRow(d, row);
        };
    };
    return {
        {"Single310", kQV310, kKeyA, single, kind::Single, {0x05, 0, 0, 0}, nullptr},
        {"Single420", kQV420, kKeyA, single, kind::Single, {0x05, 0, 0, 0}, nullptr},
        {"Combination310", kQV310, kKeyF1, combo, kind::Combination, {0xE0, 1, 0x06, 0}, nullptr},
        {"Combination420", kQV420, kKeyF1, combo, kind::Combination, {0xE0, 1, 0x06, 0}, nullptr},
        {"Macro310", kQV310, kKeyF1, macro, kind::Macro, {0, 2, 1, 0}, nullptr},
        {"Macro420", kQV420, kKeyF1, macro, kind::Macro, {0, 2, 1, 0}, nullptr},
        {"Basic310", kQV310, kKeyA, basic, kind::Basic, {0xE0, 1, 0x06, 0}, nullptr},
        {"Basic420", kQV420, kKeyA, basic, kind::Basic, {0xE0, 1, 0x06, 0}, nullptr},
        {"Disabled310", kQV310, kKeyA, disable, kind::Single, {0, 0, 0, 0}, nullptr},
        {"Disabled420", kQV420, kKeyA, disable, kind::Single, {0, 0, 0, 0}, nullptr},
        {"PlaySound",
         kQV310,
         kKeyA,
         advanced(0, "/usr/share/sounds/bell.oga"),
         kind::PlaySound,
         {0xFA, 0, 0, 0},
         "/usr/share/sounds/bell.oga"},
        {"StartProgram",
         kQV310,
         kKeyF1,
         advanced(1, "/usr/bin/xterm"),
         kind::StartProgram,
         {0xFA, 0, 0, 0},
         "/usr/bin/xterm"},
        {"OpenFile",
         kQV310,
         kKeyEsc,
         advanced(2, "/home/u/notes.txt"),
         kind::OpenFile,
         {0xFA, 0, 0, 0},
         "/home/u/notes.txt"},
        {"OpenFolder", kQV310, 94, advanced(3, "/home/u/Music"), kind::OpenFolder, {0xFA, 0, 0, 0}, "/home/u/Music"},
    };
}

INSTANTIATE_TEST_SUITE_P(KeymapDialogs, EveryKind, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<KindCase>& info) { return info.param.name; });

}  // namespace
}  // namespace zr417
