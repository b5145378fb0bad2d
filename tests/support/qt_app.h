// The one QApplication of a widget test process. It draws with the programs'
// own fonts, so no test depends on the machine's default font.
#pragma once

#include "platform/fonts.h"

#include <QApplication>

#include <gtest/gtest.h>

namespace zr417::test {

inline QApplication& QtApp()
{
    static int argc = 1;
    static char name[] = "zr417_widget_test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        auto* a = new QApplication(argc, argv);
        UseProgramFont();
        return a;
    }();
    return *app;
}

// For a test program whose every test needs the application: made before the
// first test (::testing::AddGlobalTestEnvironment(new QtAppEnvironment)).
class QtAppEnvironment : public ::testing::Environment {
public:
    void SetUp() override { QtApp(); }
};

}  // namespace zr417::test
