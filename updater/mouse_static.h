// The status control of one device slot: a 150 x 150 square in the state
// colour with two centred lines of text. Workers write it from their threads;
// it keeps its texts under a lock and repaints on the GUI thread.
#pragma once

#include "updater/tool_ui.h"

#include <QWidget>

#include <mutex>
#include <string>

namespace zr417::updater {

class CMouseStatic : public QWidget, public StatusControl {
    Q_OBJECT
public:
    explicit CMouseStatic(QWidget* parent = nullptr);

    // StatusControl (any thread).
    void SetLine1(const std::string& text) override;
    void SetLine2(const std::string& text) override;
    void SetColour(int colour) override;
    void Redraw(bool progressOnly) override;

    std::string line1() const;
    std::string line2() const;
    int colour() const;

    static QColor StateColour(int colour);

    // Where the two lines are drawn, centred.
    static QRect Line1Rect();
    static QRect Line2Rect();
    // `font`, made smaller where needed so that every text a slot can show,
    // in each of the three languages, fits its line with a margin on both
    // sides.
    static QFont FitSlotTexts(QFont font);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    mutable std::mutex mutex_;
    int colour_ = kWhite;
    std::string line1_;
    std::string line2_;
};

}  // namespace zr417::updater
