#include "artwork.h"

#include "config/keys.h"

#include <QConicalGradient>
#include <QFont>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <algorithm>
#include <cmath>
#include <map>

namespace zr417::art {

using namespace theme;

namespace {

int g_scale = 1;

// Opaque canvas: skins are copied without blending, so none carries alpha.
// It has the current scale's pixels and is drawn on in layout units.
QImage Canvas(QSize size, QColor fill)
{
    QImage image(size * g_scale, QImage::Format_RGB32);
    image.setDevicePixelRatio(g_scale);
    image.fill(fill);
    return image;
}

struct Painter : QPainter {
    explicit Painter(QImage* image) : QPainter(image)
    {
        setRenderHint(QPainter::Antialiasing);
        setRenderHint(QPainter::TextAntialiasing);
        setRenderHint(QPainter::SmoothPixmapTransform);
    }
};

QLinearGradient Vertical(const QRectF& r, QColor top, QColor bottom)
{
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    return g;
}

QFont Font(double pixels, bool bold = false, bool italic = false)
{
    QFont f;
    f.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arial")});
    f.setPixelSize(std::max(1, static_cast<int>(std::lround(pixels))));
    f.setBold(bold);
    f.setItalic(italic);
    f.setHintingPreference(QFont::PreferFullHinting);
    return f;
}

// A rounded rectangle on pixel centres, so a 1-pixel outline stays crisp.
void Box(QPainter& p, const QRectF& r, double radius, const QBrush& fill, const QColor& outline)
{
    p.setPen(outline.isValid() ? QPen(outline, 1) : Qt::NoPen);
    p.setBrush(fill);
    p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
}

// The picture in layout units, whatever its scale.
QRectF Whole(const QImage& image)
{
    return QRectF(QPointF(0, 0), image.deviceIndependentSize());
}

// A soft glow: concentric translucent outlines growing outwards.
void Glow(QPainter& p, const QRectF& r, double radius, QColor colour, int steps)
{
    p.setBrush(Qt::NoBrush);
    for (int i = steps; i >= 1; --i) {
        QColor c = colour;
        c.setAlpha(colour.alpha() * (steps - i + 1) / (steps + 1) / 3);
        p.setPen(QPen(c, 2));
        p.drawRoundedRect(r.adjusted(-i, -i, i, i), radius + i, radius + i);
    }
}

// A triangle arrow inside r, pointing up, down, left or right (0..3).
void Arrow(QPainter& p, const QRectF& r, int direction, QColor colour)
{
    const QPointF c = r.center();
    const double w = r.width() / 2, h = r.height() / 2;
    QPolygonF tri;
    switch (direction) {
        case 0:
            tri << QPointF(c.x() - w, c.y() + h) << QPointF(c.x() + w, c.y() + h) << QPointF(c.x(), c.y() - h);
            break;
        case 1:
            tri << QPointF(c.x() - w, c.y() - h) << QPointF(c.x() + w, c.y() - h) << QPointF(c.x(), c.y() + h);
            break;
        case 2:
            tri << QPointF(c.x() + w, c.y() - h) << QPointF(c.x() + w, c.y() + h) << QPointF(c.x() - w, c.y());
            break;
        default:
            tri << QPointF(c.x() - w, c.y() - h) << QPointF(c.x() - w, c.y() + h) << QPointF(c.x() + w, c.y());
            break;
    }
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawPolygon(tri);
}

// The "ZR417" word mark with its baseline at `baseline`, starting at x.
// Returns the right edge.
double WordMark(QPainter& p, double x, double baseline, double pixels)
{
    const QFont font = Font(pixels, true, true);
    const QFontMetricsF fm(font);
    p.setFont(font);
    p.setPen(QColor(244, 244, 248));
    p.drawText(QPointF(x, baseline), QStringLiteral("ZR"));
    const double x2 = x + fm.horizontalAdvance(QStringLiteral("ZR")) + pixels * 0.04;
    p.setPen(kRedBright);
    p.drawText(QPointF(x2, baseline), QStringLiteral("417"));
    return x2 + fm.horizontalAdvance(QStringLiteral("417"));
}

// Slanted red bar that underlines the word mark, fading to the right.
void Swoosh(QPainter& p, double x, double y, double length, double thickness)
{
    QLinearGradient g(QPointF(x, y), QPointF(x + length, y));
    g.setColorAt(0, kRedBright);
    g.setColorAt(0.6, kRed);
    g.setColorAt(1, QColor(kRed.red(), kRed.green(), kRed.blue(), 0));
    QPolygonF bar;
    const double slant = thickness * 1.5;
    bar << QPointF(x + slant, y) << QPointF(x + length + slant, y) << QPointF(x + length, y + thickness)
        << QPointF(x, y + thickness);
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawPolygon(bar);
}

QImage BuildBackdrop()
{
    QImage image = Canvas(QSize(kMainWidth, kMainHeight), kChassisBottom);
    Painter p(&image);
    const QRectF all = Whole(image);
    p.fillRect(all, Vertical(all, kChassisTop, kChassisBottom));

    // Fine diagonal pinstripes over the keyboard field.
    const QRectF field(262, 32, 737, 563);
    p.save();
    p.setClipRect(field);
    p.setPen(QPen(QColor(255, 255, 255, 7), 1));
    for (int x = -640; x < kMainWidth; x += 7) p.drawLine(QPointF(x, 640), QPointF(x + 640, 0));
    // Ambient red light around the keyboard.
    QRadialGradient glow(QPointF(625, 300), 420);
    glow.setColorAt(0, QColor(190, 20, 28, 54));
    glow.setColorAt(0.55, QColor(150, 14, 20, 20));
    glow.setColorAt(1, QColor(120, 10, 16, 0));
    p.fillRect(field, glow);
    p.restore();

    // Title bar with its red accent under the logo column.
    const QRectF title(0, 0, kMainWidth, 30);
    p.fillRect(title, Vertical(title, QColor(44, 44, 49), QColor(28, 28, 32)));
    p.fillRect(QRectF(0, 30, kMainWidth, 1), QColor(8, 8, 9));
    p.fillRect(QRectF(0, 31, kMainWidth, 1), QColor(50, 50, 56));
    QPolygonF accent;
    accent << QPointF(0, 29) << QPointF(262, 29) << QPointF(270, 32) << QPointF(0, 32);
    p.setPen(Qt::NoPen);
    p.setBrush(kRed);
    p.drawPolygon(accent);

    // The light card of the lighting panel: the grey labels sit on it.
    const QRectF card(12, 104, 246, 466);
    for (int i = 1; i <= 4; ++i) {
        p.setPen(QPen(QColor(0, 0, 0, 30), 1));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(card.adjusted(-i + 0.5, -i + 1.5, i - 0.5, i + 1.5), 6 + i, 6 + i);
    }
    Box(p, card, 6, kCard, kCardEdge);
    p.setPen(QPen(QColor(255, 255, 255, 110), 1));
    p.drawLine(QPointF(18, 105.5), QPointF(252, 105.5));

    // One card under the macro and Game Mode panels (their pictures are cut
    // from it): its title band begins above them, so the titles drawn at
    // their top edge (y 426, and x 545 for Game Mode) touch no border.
    {
        const QRectF panels(297, 419, 498, 67);
        Box(p, panels, 5, kCard, kCardEdge);
        const QRectF band(298, 420, 496, 26);
        QPainterPath top;
        top.addRoundedRect(band.adjusted(0, 0, 0, 4), 4, 4);
        QPainterPath below;
        below.addRect(QRectF(band.left(), band.bottom(), band.width(), 8));
        p.setPen(Qt::NoPen);
        p.setBrush(Vertical(band, QColor(238, 238, 241), kCardHeader));
        p.drawPath(top.subtracted(below));
        p.fillRect(QRectF(298, 446, 496, 1), kCardEdge);
        p.fillRect(QRectF(298, 428, 3, 13), kRed);
        // The two panels part below the band.
        p.fillRect(QRectF(542, 450, 1, 32), kCardEdge);
        p.fillRect(QRectF(543, 450, 1, 32), QColor(230, 230, 233));
    }

    // Bottom bar.
    p.fillRect(QRectF(0, 596, kMainWidth, 44), kBar);
    p.fillRect(QRectF(0, 596, kMainWidth, 1), QColor(50, 50, 56));
    p.fillRect(QRectF(0, 596, 262, 2), kRed);
    p.fillRect(QRectF(0, 639, kMainWidth, 1), QColor(8, 8, 9));

    // Window frame with red corner marks.
    p.setPen(QPen(QColor(66, 66, 74), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(0.5, 0.5, kMainWidth - 1, kMainHeight - 1));
    p.fillRect(QRectF(0, 0, 18, 2), kRed);
    p.fillRect(QRectF(0, 0, 2, 18), kRed);
    p.fillRect(QRectF(kMainWidth - 18, kMainHeight - 2, 18, 2), kRed);
    p.fillRect(QRectF(kMainWidth - 2, kMainHeight - 18, 2, 18), kRed);
    return image;
}

void DrawKey(QPainter& p, const KeyRect& k, std::string_view label, bool lit)
{
    const QRectF outer(k.left, k.top, k.right - k.left + 1, k.bottom - k.top + 1);
    if (lit) {
        Box(p, outer, 3, Vertical(outer, QColor(160, 14, 22), QColor(84, 6, 12)), QColor(255, 82, 90));
    } else {
        Box(p, outer, 3, Vertical(outer, QColor(44, 44, 50), QColor(22, 22, 25)), QColor(80, 80, 89));
    }
    const QRectF face = outer.adjusted(3, 2, -3, -5);
    if (lit) {
        Box(p, face, 2, Vertical(face, QColor(238, 52, 60), QColor(180, 20, 28)), QColor(255, 150, 150, 150));
    } else {
        Box(p, face, 2, Vertical(face, QColor(58, 58, 65), QColor(40, 40, 45)), QColor(255, 255, 255, 16));
    }
    const QString text = QString::fromUtf8(label.data(), static_cast<int>(label.size()));
    double size = 9;
    QFont font = Font(size);
    while (QFontMetricsF(font).horizontalAdvance(text) > face.width() - 2 && size > 6) font = Font(--size);
    p.setFont(font);
    p.setPen(lit ? QColor(255, 255, 255) : QColor(198, 198, 206));
    p.drawText(face.adjusted(0, 0, 0, 1), Qt::AlignCenter, text);
}

// Light push button of the main window's bottom bar.
void LightFace(QPainter& p, const QRectF& r, bool accent)
{
    Box(p, r, 3, Vertical(r, QColor(238, 238, 241), QColor(186, 187, 192)), QColor(104, 104, 112));
    p.setPen(QPen(QColor(255, 255, 255, 170), 1));
    p.drawLine(QPointF(r.left() + 3, r.top() + 1.5), QPointF(r.right() - 3, r.top() + 1.5));
    if (accent) p.fillRect(QRectF(r.left() + 4, r.bottom() - 4, r.width() - 8, 2), kRed);
}

// Dark well with a header band: the macro manager's lists and options.
void Well(QPainter& p, const QRectF& r)
{
    p.fillRect(r, kWell);
    const QRectF head(r.left(), r.top(), r.width(), 21);
    p.fillRect(head, Vertical(head, QColor(48, 48, 54), QColor(34, 34, 38)));
    p.fillRect(QRectF(r.left(), r.top() + 21, r.width(), 1), kRed);
    p.setPen(QPen(QColor(60, 60, 67), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(r.adjusted(0.5, 0.5, -0.5, -0.5));
}

// Title band and frame shared by the dark dialogs.
void DialogFrame(QPainter& p, const QRectF& all, double titleHeight)
{
    const QRectF title(0, 0, all.width(), titleHeight);
    p.fillRect(title, Vertical(title, QColor(46, 46, 51), QColor(32, 32, 36)));
    p.fillRect(QRectF(0, titleHeight, all.width(), 2), kRed);
    p.setPen(QPen(QColor(84, 84, 94), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(all.adjusted(0.5, 0.5, -0.5, -0.5));
    p.fillRect(QRectF(0, 0, 14, 2), kRedBright);
    p.fillRect(QRectF(0, 0, 2, 14), kRedBright);
    p.fillRect(QRectF(all.width() - 14, all.height() - 2, 14, 2), kRed);
    p.fillRect(QRectF(all.width() - 2, all.height() - 14, 2, 14), kRed);
}

}  // namespace

ScopedScale::ScopedScale(int scale) : previous_(g_scale)
{
    g_scale = scale;
}

ScopedScale::~ScopedScale()
{
    g_scale = previous_;
}

int CurrentScale()
{
    return g_scale;
}

const QImage& MainBackdrop()
{
    static std::map<int, QImage> backdrops;  // by scale
    auto it = backdrops.find(g_scale);
    if (it == backdrops.end()) it = backdrops.emplace(g_scale, BuildBackdrop()).first;
    return it->second;
}

QImage BackdropCrop(int x, int y, QSize size)
{
    QImage crop = MainBackdrop().copy(QRect(QPoint(x, y) * g_scale, size * g_scale));
    crop.setDevicePixelRatio(g_scale);
    return crop;
}

// --- Main window -----------------------------------------------------------

QImage MainBackground(QSize size)
{
    return BackdropCrop(0, 0, size);
}

QImage TitleButton(QSize size, int x, char glyph)
{
    QImage image = BackdropCrop(x, 5, size);
    Painter p(&image);
    const QRectF r = Whole(image);
    Box(p, r, 3, Vertical(r, QColor(54, 54, 60), QColor(34, 34, 38)), QColor(92, 92, 102));
    if (glyph == '?') {
        p.setFont(Font(12, true));
        p.setPen(kText);
        p.drawText(r.adjusted(0, 0, 0, 1), Qt::AlignCenter, QStringLiteral("?"));
    } else if (glyph == '_') {
        p.setPen(QPen(kText, 2, Qt::SolidLine, Qt::FlatCap));
        p.drawLine(QPointF(4, 11), QPointF(12, 11));
    } else {
        p.setPen(QPen(kRedBright, 2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(4.5, 4.5), QPointF(11.5, 11.5));
        p.drawLine(QPointF(11.5, 4.5), QPointF(4.5, 11.5));
    }
    return image;
}

QImage Logo(QSize size)
{
    QImage image = BackdropCrop(19, 35, size);
    Painter p(&image);
    const double right = WordMark(p, 4, 44, 44);
    Swoosh(p, 2, 50, right + 10, 4);
    // Speed streaks after the word mark.
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 3; ++i) {
        QLinearGradient g(QPointF(right + 8, 0), QPointF(size.width() - 4, 0));
        g.setColorAt(0, QColor(255, 62, 70, 200 - 50 * i));
        g.setColorAt(1, QColor(255, 62, 70, 0));
        p.setBrush(g);
        p.drawRect(QRectF(right + 8 + 6 * i, 18 + 9 * i, size.width() - right - 14 - 10 * i, 3));
    }
    return image;
}

QImage Keyboard(QSize size, bool qv420, bool lit)
{
    QImage image = BackdropCrop(kKeyboardPictureX, kKeyboardPictureY, size);
    Painter p(&image);
    const QRectF body(10, 98, 670, 216);

    // Shadow on the desk, then the case.
    p.setPen(Qt::NoPen);
    for (int i = 10; i >= 1; --i) {
        p.setBrush(QColor(0, 0, 0, 16));
        p.drawRoundedRect(body.adjusted(-i, -i + 6, i, i + 8), 14 + i, 14 + i);
    }
    Box(p, body, 14, Vertical(body, QColor(62, 62, 70), QColor(24, 24, 28)), QColor(98, 98, 110));
    p.setPen(QPen(QColor(255, 255, 255, 22), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(body.adjusted(3.5, 3.5, -3.5, -3.5), 11, 11);

    // Key plate.
    const QRectF plate(22, 112, 648, 189);
    Box(p, plate, 4, QColor(11, 11, 13), QColor(4, 4, 5));

    if (qv420) {
        // The second model has a light bar along the top edge.
        const QRectF bar(120, 101, 450, 4);
        Glow(p, bar, 2, QColor(255, 40, 50, 200), 5);
        QLinearGradient g(bar.topLeft(), bar.topRight());
        g.setColorAt(0, kRedDark);
        g.setColorAt(0.5, kRedBright);
        g.setColorAt(1, kRedDark);
        p.setPen(Qt::NoPen);
        p.setBrush(g);
        p.drawRoundedRect(bar, 2, 2);
        WordMark(p, 24, 109, 10);
    } else {
        WordMark(p, 24, 109, 10);
        Swoosh(p, 22, 110.5, 40, 1);
    }
    // Lock indicators above the number pad.
    for (int i = 0; i < 3; ++i) {
        const QPointF c(575 + 26 * i, 105.5);
        p.setPen(QPen(QColor(0, 0, 0), 1));
        p.setBrush(QColor(70, 70, 78));
        p.drawEllipse(c, 2.5, 2.5);
    }

    for (int k = 0; k < kKeyCount; ++k) DrawKey(p, g_keyRectByKey[k], g_keyLabels[k], lit);
    return image;
}

QImage LightButton(QSize size, int x, int y, bool accent)
{
    QImage image = BackdropCrop(x, y, size);
    Painter p(&image);
    LightFace(p, Whole(image), accent);
    return image;
}

QImage ProfileButton(QSize size)
{
    QImage image = BackdropCrop(17, 603, size);
    Painter p(&image);
    LightFace(p, Whole(image), false);
    // Stacked layers: the profiles.
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 3; ++i) {
        QPolygonF layer;
        const double y = 9 + 5 * i;
        layer << QPointF(6, y + 2) << QPointF(14, y - 2) << QPointF(22, y + 2) << QPointF(14, y + 6);
        p.setBrush(i == 0 ? kRedBright : (i == 1 ? kRed : kRedDark));
        p.drawPolygon(layer);
    }
    return image;
}

QImage HelpWindow(QSize size)
{
    QImage image = BackdropCrop(830, 22, size);
    Painter p(&image);
    const QRectF r = Whole(image);
    Box(p, r, 4, Vertical(r, QColor(236, 236, 239), kCard), kCardEdge);
    p.fillRect(QRectF(1, 3, 3, r.height() - 6), kRed);
    p.setPen(QPen(kCardEdge, 1));
    for (int row = 1; row < 3; ++row) p.drawLine(QPointF(8, 25 * row + 0.5), QPointF(r.width() - 8, 25 * row + 0.5));
    for (int row = 0; row < 3; ++row) Arrow(p, QRectF(10, 8 + 25 * row, 5, 8), 3, kRed);
    return image;
}

QImage ItemHeader(QSize size)
{
    QImage image = Canvas(size, kCard);
    Painter p(&image);
    const QRectF r = Whole(image);
    Box(p, r, 3, Vertical(r, QColor(240, 240, 243), kCardHeader), kCardEdge);
    p.fillRect(QRectF(1, 3, 4, r.height() - 6), kRed);
    p.fillRect(QRectF(6, r.height() - 2, r.width() - 12, 1), QColor(255, 255, 255, 120));
    return image;
}

QImage EffectRow(QSize size)
{
    QImage image = Canvas(size, kCard);
    Painter p(&image);
    Arrow(p, QRectF(3, 10, 4, 7), 3, kRed);
    return image;
}

QImage EffectField(QSize size)
{
    QImage image = Canvas(size, kCard);
    Painter p(&image);
    const QRectF r = Whole(image);
    Box(p, r, 2, Vertical(r, QColor(250, 250, 252), QColor(228, 228, 232)), QColor(124, 124, 132));
    p.fillRect(QRectF(r.width() - 19, 3, 1, r.height() - 6), QColor(170, 170, 176));
    Arrow(p, QRectF(r.width() - 14, 6, 8, 4.5), 1, kRed);
    return image;
}

QImage SpeedCard(QSize size)
{
    QImage image = Canvas(size, kCard);
    Painter p(&image);
    p.fillRect(QRectF(9, 0, size.width() - 18, 1), kCardEdge);
    p.fillRect(QRectF(9, 1, size.width() - 18, 1), QColor(230, 230, 233));
    return image;
}

QImage MultiColourCell(QSize size)
{
    QImage image = Canvas(size, kCard);
    Painter p(&image);
    const QRectF r = Whole(image);
    QConicalGradient g(r.center(), 90);
    const QColor hues[] = {Qt::red, Qt::yellow, Qt::green, Qt::cyan, Qt::blue, Qt::magenta, Qt::red};
    for (int i = 0; i < 7; ++i) g.setColorAt(i / 6.0, hues[i]);
    p.fillRect(r, g);
    QRadialGradient white(r.center(), r.width() / 2);
    white.setColorAt(0, QColor(255, 255, 255, 230));
    white.setColorAt(0.5, QColor(255, 255, 255, 40));
    white.setColorAt(1, QColor(255, 255, 255, 0));
    p.fillRect(r, white);
    return image;
}

QImage Led(QSize size, bool on, QColor background)
{
    QImage image = Canvas(size, background);
    Painter p(&image);
    const QRectF r = Whole(image).adjusted(0.5, 0.5, -0.5, -0.5);
    const bool dark = background.lightness() < 128;
    if (on) {
        QRadialGradient g(r.center() - QPointF(1.5, 1.5), r.width() * 0.7);
        g.setColorAt(0, QColor(255, 150, 150));
        g.setColorAt(0.45, kRedBright);
        g.setColorAt(1, QColor(170, 14, 22));
        p.setPen(QPen(dark ? QColor(255, 90, 96) : QColor(120, 8, 14), 1));
        p.setBrush(g);
    } else {
        p.setPen(QPen(dark ? QColor(116, 116, 126) : QColor(112, 112, 120), 1));
        p.setBrush(dark ? QColor(44, 44, 49) : QColor(236, 236, 239));
    }
    p.drawEllipse(r);
    return image;
}

QImage DirectionButton(QSize size, int direction, bool enabled)
{
    QImage image = Canvas(size, kCard);
    Painter p(&image);
    const QRectF r = Whole(image);
    if (enabled)
        Box(p, r, 3, Vertical(r, QColor(236, 44, 52), QColor(164, 16, 24)), QColor(108, 8, 14));
    else
        Box(p, r, 3, Vertical(r, QColor(248, 248, 250), QColor(220, 220, 224)), QColor(124, 124, 132));
    const bool vertical = direction <= 1;
    const QRectF glyph = QRectF(0, 0, vertical ? 9 : 6, vertical ? 6 : 9);
    Arrow(p, glyph.translated(r.center() - glyph.center()), direction,
          enabled ? QColor(255, 255, 255) : QColor(70, 70, 78));
    return image;
}

QImage MacroPanel(QSize size)
{
    return BackdropCrop(297, 426, size);  // the card is in the backdrop
}

QImage MacroButton(QSize size)
{
    QImage image = Canvas(size, kCard);
    Painter p(&image);
    const QRectF r = Whole(image);
    Box(p, r, 3, Vertical(r, QColor(250, 250, 252), QColor(222, 222, 226)), QColor(124, 124, 132));
    p.fillRect(QRectF(3, 4, 3, r.height() - 8), kRed);
    Arrow(p, QRectF(r.width() - 12, 6, 4.5, 7), 3, kRed);
    return image;
}

QImage GameModePanel(QSize size)
{
    QImage image = BackdropCrop(545, 426, size);  // the card is in the backdrop
    Painter p(&image);
    const QRectF r = Whole(image);
    p.fillRect(QRectF(124, 24, 1, r.height() - 30), kCardEdge);
    p.fillRect(QRectF(125, 24, 1, r.height() - 30), QColor(230, 230, 233));
    // Track lines joining each on/off pair.
    for (double x : {21.0, 151.0}) {
        const double width = (x < 100 ? 45.0 : 47.0);
        p.fillRect(QRectF(x, 38, width - 10, 2), QColor(168, 168, 174));
    }
    return image;
}

QImage SplashScreen(QSize size)
{
    QImage image = Canvas(size, kChassisBottom);
    Painter p(&image);
    const QRectF r = Whole(image);
    p.fillRect(r, Vertical(r, QColor(34, 34, 39), QColor(10, 10, 12)));
    QRadialGradient glow(QPointF(r.width() / 2, r.height() * 0.45), r.width() * 0.55);
    glow.setColorAt(0, QColor(200, 20, 30, 70));
    glow.setColorAt(1, QColor(200, 20, 30, 0));
    p.fillRect(r, glow);
    // Diagonal slashes on the right.
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 4; ++i) {
        QPolygonF slash;
        const double x = r.width() - 130 + 26 * i;
        slash << QPointF(x, 0) << QPointF(x + 12, 0) << QPointF(x - 60, r.height()) << QPointF(x - 72, r.height());
        p.setBrush(QColor(214, 24, 32, 34 + 14 * i));
        p.drawPolygon(slash);
    }
    const QFont font = Font(84, true, true);
    const double width = QFontMetricsF(font).horizontalAdvance(QStringLiteral("ZR417"));
    const double x = (r.width() - width) / 2;
    WordMark(p, x, 150, 84);
    Swoosh(p, x - 4, 162, width + 20, 6);
    // A row of key caps.
    for (int i = 0; i < 12; ++i) {
        const QRectF key(60 + 31 * i, 208, 27, 27);
        Box(p, key, 3, Vertical(key, QColor(52, 52, 58), QColor(24, 24, 28)),
            i == 5 ? QColor(255, 82, 90) : QColor(78, 78, 88));
    }
    p.fillRect(QRectF(0, r.height() - 3, r.width(), 3), kRed);
    p.setPen(QPen(QColor(84, 84, 94), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(r.adjusted(0.5, 0.5, -0.5, -0.5));
    return image;
}

// --- Profile manager ----------------------------------------------------------

QImage ConfigPanel(QSize size)
{
    QImage image = Canvas(size, kPanel);
    Painter p(&image);
    const QRectF all = Whole(image);
    DialogFrame(p, all, 30);
    // The list (1, 34, 260 x 540) shows what lies under it.
    const QRectF list(1, 34, 260, 540);
    p.fillRect(list, kWell);
    p.fillRect(QRectF(1, 574, 260, 1), QColor(52, 52, 58));
    p.fillRect(QRectF(10, 604, all.width() - 20, 1), QColor(44, 44, 50));
    return image;
}

QImage DarkCloseButton(QSize size, QColor background, bool over)
{
    QImage image = Canvas(size, background);
    Painter p(&image);
    const QRectF r = Whole(image);
    if (over)
        Box(p, r, 3, Vertical(r, QColor(236, 44, 52), QColor(150, 14, 22)), kRedBright);
    else
        Box(p, r, 3, Vertical(r, QColor(56, 56, 62), QColor(36, 36, 40)), QColor(96, 96, 106));
    p.setPen(QPen(over ? QColor(255, 255, 255) : kRedBright, 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(4.5, 4.5), QPointF(11.5, 11.5));
    p.drawLine(QPointF(11.5, 4.5), QPointF(4.5, 11.5));
    return image;
}

QImage IconButton(QSize size, QColor background, char glyph)
{
    QImage image = Canvas(size, background);
    Painter p(&image);
    const QRectF r = Whole(image);
    Box(p, r, 3, Vertical(r, QColor(58, 58, 64), QColor(36, 36, 40)), QColor(96, 96, 106));
    p.setPen(QPen(QColor(255, 255, 255, 26), 1));
    p.drawLine(QPointF(4, 1.5), QPointF(r.width() - 4, 1.5));
    p.setPen(QPen(kRedBright, 2, Qt::SolidLine, Qt::FlatCap));
    const QPointF c(10, r.height() / 2);
    p.drawLine(c - QPointF(4, 0), c + QPointF(4, 0));
    if (glyph == '+') p.drawLine(c - QPointF(0, 4), c + QPointF(0, 4));
    return image;
}

// --- Key assignment dialogs ---------------------------------------------------

QImage CustomBackground(QSize size)
{
    QImage image = Canvas(size, kDialog);
    Painter p(&image);
    const QRectF all = Whole(image);
    DialogFrame(p, all, 28);
    p.fillRect(QRectF(1, 30, all.width() - 2, 28), QColor(18, 18, 20));
    // Frame around the page: the tree stands at 10, 60, 295 x 160 and the
    // macro list, the tallest control, reaches down to y 228.
    p.setPen(QPen(kLine, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(9.5, 59.5, 296, 172));
    p.fillRect(QRectF(10, 236, all.width() - 20, 1), QColor(56, 56, 62));
    return image;
}

QImage TabMarker(QSize size)
{
    QImage image = TabStrip(size);
    Painter p(&image);
    QPolygonF tri;
    tri << QPointF(0, 0) << QPointF(size.width(), 0) << QPointF(size.width() / 2.0, size.height() - 1);
    p.setPen(Qt::NoPen);
    p.setBrush(kRedBright);
    p.drawPolygon(tri);
    return image;
}

QImage AdvancedPage(QSize size)
{
    QImage image = Canvas(size, kDialog);
    Painter p(&image);
    for (int row = 1; row < 4; ++row) p.fillRect(QRectF(0, 30 * row - 1, size.width(), 1), QColor(50, 50, 56));
    return image;
}

QImage PathField(QSize size)
{
    QImage image = Canvas(size, kDialog);
    Painter p(&image);
    Box(p, Whole(image), 2, kWell, kLine);
    return image;
}

QImage BrowseButton(QSize size, bool over)
{
    QImage image = Canvas(size, kDialog);
    Painter p(&image);
    const QRectF r = Whole(image);
    if (over)
        Box(p, r, 3, Vertical(r, QColor(236, 44, 52), QColor(150, 14, 22)), kRedBright);
    else
        Box(p, r, 3, Vertical(r, QColor(60, 60, 66), QColor(40, 40, 44)), QColor(100, 100, 110));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(240, 240, 244));
    for (int i = -1; i <= 1; ++i) p.drawEllipse(QPointF(r.center().x() + 6 * i, r.center().y() + 0.5), 1.5, 1.5);
    return image;
}

QImage TabButton(QSize size)
{
    QImage image = Canvas(size, kDialog);
    Painter p(&image);
    const QRectF r = Whole(image);
    p.fillRect(r, Vertical(r, QColor(50, 50, 55), QColor(34, 34, 38)));
    p.fillRect(QRectF(0, 0, 1, r.height()), QColor(255, 255, 255, 18));
    p.fillRect(QRectF(r.width() - 1, 0, 1, r.height()), QColor(14, 14, 16));
    p.fillRect(QRectF(0, r.height() - 1, r.width(), 1), QColor(14, 14, 16));
    return image;
}

QImage TabStrip(QSize size)
{
    QImage image = Canvas(size, QColor(18, 18, 20));
    Painter p(&image);
    QLinearGradient g(QPointF(0, 0), QPointF(size.width(), 0));
    g.setColorAt(0, kRedDark);
    g.setColorAt(0.5, kRed);
    g.setColorAt(1, kRedDark);
    p.fillRect(QRectF(0, size.height() - 2, size.width(), 2), g);
    return image;
}

QImage DarkButton(QSize size, QColor background, bool over, bool accent)
{
    QImage image = Canvas(size, background);
    Painter p(&image);
    const QRectF r = Whole(image);
    if (over) {
        Box(p, r, 3, Vertical(r, QColor(228, 38, 46), QColor(146, 14, 22)), kRedBright);
    } else {
        Box(p, r, 3, Vertical(r, QColor(62, 62, 69), QColor(38, 38, 42)),
            accent ? QColor(200, 30, 38) : QColor(100, 100, 110));
    }
    p.setPen(QPen(QColor(255, 255, 255, over ? 70 : 26), 1));
    p.drawLine(QPointF(4, 1.5), QPointF(r.width() - 4, 1.5));
    return image;
}

// --- Macro manager ----------------------------------------------------------

QImage MacroManagerBackground(QSize size)
{
    QImage image = Canvas(size, kPanel);
    Painter p(&image);
    const QRectF all = Whole(image);
    DialogFrame(p, all, 32);
    // The two lists show resource 145 behind them; the panels here match it.
    const QImage list = ListBackground(QSize(127, 305));
    p.drawImage(QPointF(13, 58), list);
    p.drawImage(QPointF(143, 58), list);
    Well(p, QRectF(273, 58, 120, 305));
    return image;
}

QImage CheckBox(QSize size, bool ticked)
{
    QImage image = Canvas(size, kWell);
    Painter p(&image);
    const QRectF r = Whole(image);
    Box(p, r, 2, Vertical(r, QColor(48, 48, 54), QColor(34, 34, 38)), ticked ? kRed : QColor(110, 110, 120));
    if (ticked) {
        QPainterPath tick;
        tick.moveTo(3.5, 7.5);
        tick.lineTo(6.2, 10.5);
        tick.lineTo(11.5, 4);
        p.setPen(QPen(kRedBright, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPath(tick);
    }
    return image;
}

// --- Bitmap resources ---------------------------------------------------------

QImage StepMark(QSize size, int kind)
{
    QImage image = Canvas(size, kWell);
    Painter p(&image);
    const double cx = size.width() / 2.0;
    if (kind == 2) {
        const QPointF c(size.width() / 2.0, size.height() / 2.0);
        p.setPen(QPen(QColor(206, 206, 214), 1.4));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(c, 5.6, 5.6);
        p.setPen(QPen(kRedBright, 1.4, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(c, c + QPointF(0, -3.6));
        p.drawLine(c, c + QPointF(2.8, 0));
        return image;
    }
    // Press: red arrow down; release: light arrow up.
    const QColor colour = kind == 0 ? kRedBright : QColor(200, 200, 208);
    p.setPen(QPen(colour, 2, Qt::SolidLine, Qt::FlatCap));
    if (kind == 0) {
        p.drawLine(QPointF(cx, 1), QPointF(cx, 8));
        Arrow(p, QRectF(1, 7, size.width() - 2, 6), 1, colour);
    } else {
        p.drawLine(QPointF(cx, 6), QPointF(cx, 13));
        Arrow(p, QRectF(1, 1, size.width() - 2, 6), 0, colour);
    }
    return image;
}

QImage TreeMarker(QSize size, bool expanded)
{
    QImage image = Canvas(size, kDialog);
    QPainter p(&image);  // no antialiasing: one-pixel lines at 9 x 9
    p.setPen(QColor(150, 150, 160));
    p.drawRect(0, 0, size.width() - 1, size.height() - 1);
    p.setPen(QColor(255, 72, 80));
    const int c = size.width() / 2;
    p.drawLine(2, c, size.width() - 3, c);
    if (!expanded) p.drawLine(c, 2, c, size.height() - 3);
    return image;
}

QImage SliderChannel(QSize size, bool filled)
{
    QImage image = Canvas(size, kCard);
    Painter p(&image);
    const QRectF groove(1, 4, size.width() - 2, 7);
    if (filled) {
        Box(p, groove, 3, Vertical(groove, QColor(255, 76, 84), QColor(176, 14, 22)), QColor(118, 8, 14));
        p.setPen(QPen(QColor(255, 255, 255, 70), 1));
        p.drawLine(QPointF(groove.left() + 3, groove.top() + 1.5), QPointF(groove.right() - 3, groove.top() + 1.5));
    } else {
        Box(p, groove, 3, Vertical(groove, QColor(84, 84, 90), QColor(132, 132, 138)), QColor(92, 92, 98));
    }
    return image;
}

QImage SliderThumb(QSize size)
{
    QImage image = Canvas(size, kCard);
    Painter p(&image);
    const QRectF r = Whole(image);
    Box(p, r, 3, Vertical(r, QColor(252, 252, 253), QColor(196, 196, 201)), QColor(88, 88, 96));
    p.fillRect(QRectF(r.center().x() - 1, 3, 2, r.height() - 6), kRed);
    return image;
}

QImage ListBackground(QSize size)
{
    QImage image = Canvas(size, kWell);
    Painter p(&image);
    Well(p, Whole(image));
    return image;
}

QImage ProgramIcon(QSize size, bool about)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    Painter p(&image);
    const double s = size.width() / 256.0;
    p.scale(s, s);
    const QRectF cap(20, 20, 216, 216);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 90));
    p.drawRoundedRect(cap.translated(0, 8), 44, 44);
    p.setBrush(Vertical(cap, QColor(66, 66, 74), QColor(18, 18, 21)));
    p.setPen(QPen(about ? kRed : kRedBright, 6));
    p.drawRoundedRect(cap, 44, 44);
    const QRectF face = cap.adjusted(26, 20, -26, -40);
    p.setPen(Qt::NoPen);
    p.setBrush(Vertical(face, QColor(72, 72, 80), QColor(40, 40, 45)));
    p.drawRoundedRect(face, 26, 26);
    // The Z of the word mark.
    QPolygonF z;
    z << QPointF(78, 74) << QPointF(184, 74) << QPointF(178, 96) << QPointF(112, 156) << QPointF(168, 156)
      << QPointF(162, 180) << QPointF(62, 180) << QPointF(68, 158) << QPointF(134, 98) << QPointF(74, 98);
    p.setBrush(kRedBright);
    p.drawPolygon(z);
    if (about) {
        p.setBrush(kRed);
        p.drawRoundedRect(QRectF(70, 200, 116, 10), 5, 5);
    }
    return image;
}

}  // namespace zr417::art
