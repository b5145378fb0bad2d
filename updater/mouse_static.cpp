#include "updater/mouse_static.h"

#include "updater/tool_texts.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPolygon>

#include <cmath>

namespace zr417::updater {

namespace {

constexpr int kLineMargin = 4;  // free pixels at each end of the widest text

// Every text a slot shows, at its widest, in each language.
QStringList SlotTexts()
{
    const ToolText fixed[] = {
        ToolText::NoDevice,    ToolText::OpenDevice,   ToolText::OpenIsOk,     ToolText::OpenDeviceFail,
        ToolText::LeftNumZero, ToolText::EraseFail,    ToolText::Erasing,      ToolText::OpenFileFail,
        ToolText::FileTooBig,  ToolText::SendDataFail, ToolText::ReadBackFail, ToolText::BurnFail,
        ToolText::Successful,  ToolText::Stop,
    };
    QStringList texts{QString::fromUtf8(kSuccessLine2)};
    for (int lang = 0; lang < kLanguageCount; ++lang) {
        for (ToolText row : fixed) texts << QString::fromUtf8(Text(row, lang));
        texts << QString::fromStdString(FormatText(ToolText::DeviceArrival, lang, 16))
              << QString::fromStdString(FormatText(ToolText::TimesLeft, lang, 8))
              << QString::fromStdString(FormatText(ToolText::SendData, lang, 100.0))
              << QString::fromStdString(FormatText(ToolText::ReadData, lang, 100.0));
    }
    return texts;
}

}  // namespace

CMouseStatic::CMouseStatic(QWidget* parent) : QWidget(parent)
{
    setFixedSize(150, 150);
}

void CMouseStatic::SetLine1(const std::string& text)
{
    std::lock_guard lock(mutex_);
    line1_ = text;
}

void CMouseStatic::SetLine2(const std::string& text)
{
    std::lock_guard lock(mutex_);
    line2_ = text;
}

void CMouseStatic::SetColour(int colour)
{
    std::lock_guard lock(mutex_);
    colour_ = colour;
}

void CMouseStatic::Redraw(bool progressOnly)
{
    // Workers call this from their threads; the repaint is queued to ours.
    // A progress step repaints the whole of line 1, never less than its text.
    QMetaObject::invokeMethod(
        this,
        [this, progressOnly] {
            if (progressOnly)
                update(Line1Rect());
            else
                update();
        },
        Qt::QueuedConnection);
}

QRect CMouseStatic::Line1Rect()
{
    return QRect(QPoint(0, 57), QPoint(129, 74));
}

QRect CMouseStatic::Line2Rect()
{
    return QRect(QPoint(0, 77), QPoint(129, 94));
}

QFont CMouseStatic::FitSlotTexts(QFont font)
{
    static const QStringList texts = SlotTexts();
    const int room = Line1Rect().width() - 2 * kLineMargin;
    for (int size = font.pixelSize(); size > 6; --size) {
        font.setPixelSize(size);
        QFontMetrics metrics(font);
        bool fits = metrics.height() <= Line1Rect().height();
        for (const QString& text : texts) fits = fits && metrics.horizontalAdvance(text) <= room;
        if (fits) break;
    }
    return font;
}

std::string CMouseStatic::line1() const
{
    std::lock_guard lock(mutex_);
    return line1_;
}

std::string CMouseStatic::line2() const
{
    std::lock_guard lock(mutex_);
    return line2_;
}

int CMouseStatic::colour() const
{
    std::lock_guard lock(mutex_);
    return colour_;
}

QColor CMouseStatic::StateColour(int colour)
{
    switch (colour) {
        case kYellow:
            return QColor(255, 255, 0);
        case kGreen:
            return QColor(0, 255, 0);
        case kRed:
            return QColor(255, 0, 0);
        default:
            return QColor(255, 255, 255);
    }
}

void CMouseStatic::paintEvent(QPaintEvent*)
{
    int colour;
    QString line1, line2;
    {
        std::lock_guard lock(mutex_);
        colour = colour_;
        line1 = QString::fromStdString(line1_);
        line2 = QString::fromStdString(line2_);
    }
    const QColor fill = StateColour(colour);
    QPainter painter(this);

    // The square.
    QPolygon square({QPoint(0, 0), QPoint(0, 150), QPoint(150, 150), QPoint(150, 0)});
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawPolygon(square, Qt::OddEvenFill);

    // The pie and its chord line, in the same colour as the square.
    painter.setPen(QPen(fill, 1));
    painter.setBrush(fill);
    const QRectF ellipse(QPointF(13, 24), QPointF(117, 118));
    const QPointF centre = ellipse.center();
    auto angleOf = [&](QPointF p) { return std::atan2(-(p.y() - centre.y()), p.x() - centre.x()) * 180.0 / M_PI; };
    double start = angleOf(QPointF(30, 83));
    double end = angleOf(QPointF(115, 60));
    double span = end - start;
    while (span <= 0) span += 360.0;  // counter-clockwise from the first radial to the second
    painter.drawPie(ellipse, static_cast<int>(std::lround(start * 16)), static_cast<int>(std::lround(span * 16)));
    painter.drawLine(QPoint(30, 83), QPoint(115, 60));

    // The two lines of text.
    painter.setPen(palette().color(QPalette::WindowText));
    painter.setFont(font());
    painter.drawText(Line1Rect(), Qt::AlignCenter | Qt::TextSingleLine | Qt::TextDontClip, line1);
    painter.drawText(Line2Rect(), Qt::AlignCenter | Qt::TextSingleLine | Qt::TextDontClip, line2);
}

}  // namespace zr417::updater
