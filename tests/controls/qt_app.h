// One QApplication for a test process (tests run headless, offscreen).
#pragma once

#include <QApplication>
#include <QImage>

#include <gtest/gtest.h>

namespace zr417::testing {

inline QApplication& TestApp()
{
    static int argc = 1;
    static char name[] = "zr417_test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

class QtTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { TestApp(); }
};

inline QRgb Opaque(int r, int g, int b)
{
    return qRgb(r, g, b);
}
inline QRgb PixelAt(const QImage& image, int x, int y)
{
    return image.pixel(x, y) | 0xff000000u;
}

}  // namespace zr417::testing
