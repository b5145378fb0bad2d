// What the main program's benchmarks share: the folder of the built programs
// and skins, and the one QApplication of the process (headless unless a
// display is asked for).
#pragma once

#include <QApplication>

#include <cstdlib>
#include <filesystem>

namespace zr417::bench {

inline std::filesystem::path RuntimeDirectory()
{
    const char* env = std::getenv("ZR417_RUNTIME_DIR");
    return env && *env ? std::filesystem::path(env) : std::filesystem::path(ZR417_RUNTIME_DIR_DEFAULT);
}

inline QApplication& App()
{
    static int argc = 1;
    static char name[] = "zr417_bench";
    static char* argv[] = {name, nullptr};
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication* app = new QApplication(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    return *app;
}

}  // namespace zr417::bench
