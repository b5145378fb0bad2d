#include "app/autostart_menu.h"

#include "app/main_logic.h"
#include "platform/autostart.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenu>
#include <QSignalBlocker>

#include <cstdio>

namespace zr417 {

QAction* AddAutostartItem(QMenu& menu, int language)
{
    const std::string_view text = texts::kStartWithDesktop.in(language);
    QAction* item = menu.addAction(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    item->setCheckable(true);
    // The entries may change outside the program: ask them each time.
    auto sync = [item] {
        QSignalBlocker quiet(item);
        item->setChecked(AutostartEnabled(AutostartFolders::FromEnvironment()));
    };
    sync();
    QObject::connect(&menu, &QMenu::aboutToShow, item, sync);
    QObject::connect(item, &QAction::toggled, item, [sync](bool on) {
        std::string error;
        const std::string program = QCoreApplication::applicationFilePath().toStdString();
        if (!SetAutostart(AutostartFolders::FromEnvironment(), on, program, &error))
            std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, error.c_str());
        sync();
    });
    return item;
}

}  // namespace zr417
