// One QApplication for a test process (tests run headless, offscreen).
#pragma once

#include "tests/support/qt_app.h"

#include <QApplication>
#include <QImage>

#include <gtest/gtest.h>

namespace zr417::testing {

inline QApplication& TestApp()
{
    return test::QtApp();
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
