// Input sent straight to a widget, as the tests and benchmarks drive windows.
#pragma once

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>

namespace zr417::test {

// A left click at `p` (the widget's coordinates).
inline void SendClick(QWidget& widget, QPointF p)
{
    QMouseEvent down(QEvent::MouseButtonPress, p, widget.mapToGlobal(p), Qt::LeftButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(&widget, &down);
    QMouseEvent up(QEvent::MouseButtonRelease, p, widget.mapToGlobal(p), Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&widget, &up);
}

}  // namespace zr417::test
