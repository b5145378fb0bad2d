// Shows the macro manager with a macro recorded through the key hook, for
// looking at it and for the screenshots in docs/macro-manager/:
//   zr417_macro_manager_demo <english|chinese> [recorded|recording|menu|long] [seconds]
// The window stands at (20, 20); it closes by itself after `seconds` (5).
#include "config/keys.h"
#include "macro/macro_record_dlg.h"
#include "platform/files.h"
#include "platform/fonts.h"

#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QMenu>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

using namespace zr417;

namespace {

// A keystroke with its own time, as the keyboard sends it; the key capture
// turns it into the dialog's keystroke.
void Key(QWidget* to, int qtKey, bool release, quint64 t)
{
    QKeyEvent e(release ? QEvent::KeyRelease : QEvent::KeyPress, qtKey, Qt::NoModifier, QString());
    e.setTimestamp(t);
    QApplication::sendEvent(to, &e);
    QTest::qWait(release ? 50 : 5);
}

void Click(CMacroRecordDlg& dlg, QPoint p)
{
    QTest::mouseClick(&dlg, Qt::LeftButton, {}, p);
    QApplication::processEvents();
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <english|chinese> [recorded|recording|menu|long] [seconds]\n", argv[0]);
        return 2;
    }
    QApplication app(argc, argv);
    zr417::UseProgramFont();
    const int language = std::string(argv[1]) == "chinese" ? kLanguageChinese : kLanguageEnglish;
    const std::string scene = argc > 2 ? argv[2] : "recorded";
    const int seconds = argc > 3 ? std::atoi(argv[3]) : 5;
    const bool chinese = language == kLanguageChinese;

    const std::string dataDir = QDir::tempPath().toStdString() + "/zr417-macro-demo";
    std::filesystem::create_directories(dataDir);
    const AppPaths paths{ExecutableDir(), dataDir};
    MacroStore store(paths.macroFile());
    const char* english[] = {"Combo burst", "Build and run", "Reload x3"};
    const char* zh[] = {"连招爆发", "编译运行", "换弹三次"};
    MacroTable table;
    for (int i = 0; i < 3; ++i) {
        SetMacroName(table[i], std::string(chinese ? zh[i] : english[i]));
        table[i].setLoops(1);
    }
    store.SetMacroTable(table);

    // Until the screenshot scene, the step menu answers by itself.
    bool scripted = true;
    int scriptedCommand = 0;
    MacroManagerSeams seams;
    seams.execMenu = [&](QMenu& menu, const QPoint& at) -> QAction* {
        if (!scripted) return menu.exec(at);
        for (QAction* a : menu.findChildren<QAction*>())
            if (a->data().toInt() == scriptedCommand) return a;
        return nullptr;
    };
    CMacroRecordDlg dlg(store, language, paths, nullptr, seams);
    dlg.move(20, 20);
    dlg.show();
    QApplication::setActiveWindow(&dlg);
    QTest::qWait(100);

    // Record the first macro with its delays: Shift held over A and S, then D.
    Click(dlg, {372, 172});  // record delay
    Click(dlg, {300, 320});  // number of loops
    dlg.loopEdit()->selectAll();
    QTest::keyClicks(dlg.loopEdit(), "3");
    Click(dlg, {300, 110});  // Start Recording
    quint64 t = 100000;
    Key(&dlg, Qt::Key_Shift, false, t);
    Key(&dlg, Qt::Key_A, false, t += 62);
    Key(&dlg, Qt::Key_A, true, t += 45);
    Key(&dlg, Qt::Key_S, false, t += 118);
    Key(&dlg, Qt::Key_S, true, t += 38);
    Key(&dlg, Qt::Key_Shift, true, t += 15);
    if (scene != "recording") {
        Key(&dlg, Qt::Key_D, false, t += 250);
        Key(&dlg, Qt::Key_D, true, t += 41);
        // A longer macro, so the step list scrolls.
        for (int k = 0; scene == "long" && k < 6; ++k) {
            Key(&dlg, Qt::Key_F1 + k, false, t += 80 + 10 * k);
            Key(&dlg, Qt::Key_F1 + k, true, t += 30);
        }
        Click(dlg, {300, 110});  // Stop Recording
        // A left click after A's release, from the step menu's command.
        dlg.stepList()->setCurrentRow(4);
        scriptedCommand = kCmdLeftClick;
        dlg.OpenStepMenu(dlg.mapToGlobal(QPoint(200, 150)));
        dlg.stepList()->setCurrentRow(8);
        QApplication::processEvents();
        QTest::mouseMove(&dlg, {300, 410});  // the pointer over OK
    } else {
        QTest::mouseMove(&dlg, {300, 110});  // over Stop Recording
    }
    dlg.update();

    scripted = false;
    if (scene == "menu") {
        QTimer::singleShot(300, &dlg, [] {
            // Open the mouse submenu, as a user hovering it would.
            if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                QAction* mouse = menu->actions().value(2);
                menu->setActiveAction(mouse);
                QKeyEvent right(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
                QApplication::sendEvent(menu, &right);
            }
        });
        QTimer::singleShot(0, &dlg, [&dlg] { dlg.OpenStepMenu(dlg.mapToGlobal(QPoint(210, 170))); });
    }
    QTimer::singleShot(seconds * 1000, &app, &QApplication::quit);
    return app.exec();
}
