#include "contact_sheet.h"

#include "artwork.h"
#include "config/keys.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace zr417::skingen {

namespace {

constexpr int kSheetWidth = 1440;
constexpr int kMargin = 20;
const QColor kSheet(58, 58, 64);
const QColor kCaption(232, 232, 236);
const QColor kGrey53(53, 53, 53);

QString Q(std::string_view s)
{
    return QString::fromUtf8(s.data(), static_cast<int>(s.size()));
}

QFont SheetFont(int pixels, bool bold = false)
{
    QFont f;
    f.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("WenQuanYi Zen Hei")});
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

// Run-time text as the windows draw it: a GDI-style cell height, top-left at (x, y).
void Label(QPainter& p, const QString& text, int x, int y, int height, QColor colour)
{
    QFont f = SheetFont(std::max(1, static_cast<int>(std::lround(height * 2048.0 / 2288.0))));
    f.setWeight(QFont::Light);
    p.setFont(f);
    p.setPen(colour);
    p.drawText(QPointF(x, y + QFontMetricsF(f).ascent()), text);
}

class Skins {
public:
    Skins(QString languageDir, QString resourceDir) : dir_(std::move(languageDir)), res_(std::move(resourceDir)) {}

    QImage Get(std::string_view folder, std::string_view name) const
    {
        QString path = dir_ + '/';
        if (!folder.empty()) path += Q(folder) + '/';
        return QImage(path + Q(name));
    }
    QImage Resource(int id) const { return QImage(res_ + QStringLiteral("/bitmap/%1.png").arg(id)); }
    QImage Icon(int id) const { return QImage(res_ + QStringLiteral("/icon/%1.png").arg(id)); }

private:
    QString dir_, res_;
};

void Put(QPainter& p, const QImage& image, int x, int y)
{
    p.drawImage(QPoint(x, y), image);
}

// A slider skin as the main window paints it: channel, filled part, thumb.
void Slider(QPainter& p, const Skins& s, int x, int y, int value, int maximum)
{
    const QImage channel = s.Resource(139), fill = s.Resource(140), thumb = s.Resource(141);
    Put(p, channel, x, y);
    const int thumbX = 4 + (channel.width() - 8 - thumb.width()) * value / std::max(1, maximum);
    p.drawImage(QPoint(x, y), fill, QRect(0, 0, thumbX + thumb.width() / 2, fill.height()));
    Put(p, thumb, x + thumbX, y);
}

QImage ComposeMain(const Skins& s)
{
    QImage w = s.Get("", "main.png");
    QPainter p(&w);
    Put(p, s.Get("", "button-help-normal.png"), 936, 5);
    Put(p, s.Get("", "button-min-normal.png"), 957, 5);
    Put(p, s.Get("", "button-close-normal.png"), 978, 5);
    Put(p, s.Get("", "logo.png"), 19, 35);
    Put(p, s.Get("", "kb_BK.png"), kKeyboardPictureX, kKeyboardPictureY);
    const QImage lit = s.Get("", "kb_hl.png");
    for (int k : {0, 30, 41, 58, 94}) {
        const KeyRect& r = g_keyRectByKey[k];
        const QRect rect(r.left, r.top, r.right - r.left + 1, r.bottom - r.top + 1);
        p.drawImage(rect.topLeft() + QPoint(kKeyboardPictureX, kKeyboardPictureY), lit, rect);
    }
    Put(p, s.Get("", "button-cancel-normal.png"), 800, 605);
    Put(p, s.Get("", "button-cancel-normal.png"), 862, 605);
    Put(p, s.Get("", "button-save-normal.png"), 924, 605);
    Put(p, s.Get("", "Config.png"), 17, 603);
    Label(p, "Profile", 45, 610, 16, QColor(255, 0, 0));
    Label(p, "Default", 810, 612, 16, kGrey53);
    Label(p, "Cancel", 872, 612, 16, kGrey53);
    Label(p, "Save", 938, 612, 16, QColor(239, 14, 2));

    // Lighting panel, main group showing "Ripple".
    Put(p, s.Get("", "itemBK.png"), 19, 110);
    Label(p, "Light", 28, 112, 15, kGrey53);
    Put(p, s.Get("", "LEDEffect_open.png"), 19, 130);
    Label(p, "Effect", 28, 137, 15, kGrey53);
    Put(p, s.Get("", "Light_Item.png"), 28, 158);
    Label(p, "Ripple", 32, 159, 14, kGrey53);
    const QColor cells[] = {Qt::red, Qt::green, Qt::yellow, Qt::blue, Qt::magenta, Qt::cyan, Qt::white};
    for (int i = 0; i < 7; ++i) p.fillRect(QRect(28 + 25 * i, 223, 20, 20), cells[i]);
    Put(p, s.Get("", "8.png"), 203, 223);
    p.setPen(Qt::white);
    p.drawRect(QRect(26, 221, 22, 22));
    Put(p, s.Get("", "freq.png"), 19, 245);
    Label(p, "Brightness", 28, 247, 13, kGrey53);
    Slider(p, s, 28, 260, 3, 5);
    Label(p, "Dark", 28, 274, 13, kGrey53);
    Label(p, "Bright", 216, 274, 13, kGrey53);
    Label(p, "Speed", 28, 290, 13, kGrey53);
    Slider(p, s, 28, 303, 2, 6);
    Label(p, "Slow", 28, 317, 13, kGrey53);
    Label(p, "Fast", 222, 317, 13, kGrey53);

    // Second zone in its Wave mode.
    Put(p, s.Get("", "itemBK.png"), 19, 340);
    Label(p, "Light", 28, 342, 15, kGrey53);
    Put(p, s.Get("", "LEDEffect_open.png"), 19, 360);
    Label(p, "Effect", 28, 367, 15, kGrey53);
    Put(p, s.Get("", "Light_Item.png"), 28, 388);
    Label(p, "Wave", 32, 389, 14, kGrey53);
    Label(p, "Direction", 28, 407, 15, kGrey53);
    Put(p, s.Get("", "Direction-L-Enable.png"), 29, 425);
    Put(p, s.Get("", "Direction-R-Disable.png"), 79, 425);
    Label(p, "Brightness", 28, 470, 13, kGrey53);
    Slider(p, s, 28, 485, 1, 2);
    Label(p, "Speed", 28, 515, 13, kGrey53);
    Slider(p, s, 28, 530, 3, 4);
    Label(p, "Slow", 28, 547, 13, kGrey53);
    Label(p, "Fast", 222, 547, 13, kGrey53);

    Put(p, s.Get("", "MacroManagementBK.png"), 297, 426);
    Label(p, "Macro", 306, 428, 15, kGrey53);
    Put(p, s.Get("", "MacroButton3.png"), 299, 456);
    Label(p, "Macro Management", 360, 457, 15, kGrey53);
    Put(p, s.Get("", "gamemode_open.png"), 545, 426);
    Label(p, "Game Mode", 552, 428, 15, kGrey53);
    Label(p, "Win Lock", 675, 428, 15, kGrey53);
    Put(p, s.Get("", "Enable.png"), 560, 459);
    Put(p, s.Get("", "Disable.png"), 605, 459);
    Put(p, s.Get("", "Disable.png"), 690, 459);
    Put(p, s.Get("", "Enable.png"), 737, 459);

    Put(p, s.Get("", "HelpWindow.png"), 830, 22);
    Label(p, "www.example.com", 850, 25, 15, kGrey53);
    Label(p, "Update Firmware", 850, 50, 15, kGrey53);
    Label(p, "Ver: 1.0", 850, 75, 15, kGrey53);
    return w;
}

QImage ComposeConfig(const Skins& s)
{
    QImage w = s.Get("Config", "Config.png");
    QPainter p(&w);
    Label(p, "Profile", 10, 10, 15, Qt::white);
    Put(p, s.Get("Config", "button-close-normal.png"), 247, 10);
    const char* names[] = {"Profile_1", "Profile_2", "Copy of  Profile_1"};
    for (int i = 0; i < 3; ++i) {
        QFont f = SheetFont(13, true);
        p.setFont(f);
        p.setPen(Qt::black);
        p.drawText(QPointF(6 + 2, 52 + 2 + 20 * i), names[i]);
        p.setPen(i == 1 ? QColor(0, 255, 255) : Qt::white);
        p.drawText(QPointF(6, 52 + 20 * i), names[i]);
    }
    Put(p, s.Get("Config", "New.png"), 13, 575);
    Label(p, "New", 30, 578, 16, Qt::white);
    Put(p, s.Get("Config", "Delete.png"), 183, 575);
    Label(p, "Delete", 200, 578, 16, Qt::white);
    return w;
}

// The first model's dialog on its Advance page.
QImage ComposeCustomAdvance(const Skins& s)
{
    QImage w = s.Get("Custom", "Custom_BK.png");
    QPainter p(&w);
    Label(p, "Current Key:A ", 2, 2, 14, Qt::white);
    Put(p, s.Get("Custom", "button-close-normal.png"), 303, 2);
    for (int i = 0; i < 4; ++i) Put(p, s.Get("Custom", "large_button.png"), 81 * i, 31);
    Put(p, s.Get("Custom", "single_combine_option.png"), 0, 30);
    Put(p, s.Get("Custom", "cursor.png"), 280, 30);
    const char* tabs[] = {"Single/Combine", "Macro", "Basic", "Advance"};
    const int tabX[] = {6, 115, 182, 259};
    for (int i = 0; i < 4; ++i) Label(p, tabs[i], tabX[i], 39, 14, i == 3 ? Qt::white : QColor(192, 192, 192));
    Put(p, s.Get("Custom", "Macro_BK.png"), 15, 66);
    const char* rows[] = {"Play Sound", "Startup", "Open File", "Open Folder"};
    for (int r = 0; r < 4; ++r) {
        const int dy = 30 * r;
        Put(p, s.Get("Custom", r == 1 ? "Enable.png" : "Disable.png"), 15, 72 + dy);
        Label(p, rows[r], 30, 69 + dy, 14, Qt::white);
        Put(p, s.Get("Custom", "Advanced.png"), 85, 68 + dy);
        Put(p, s.Get("Custom", r == 2 ? "view02.png" : "view.png"), 256, 68 + dy);
    }
    Label(p, "..\\notepad.exe", 87, 99, 14, Qt::white);
    Put(p, s.Get("Custom", "Disable.png"), 19, 251);
    Label(p, "Disable", 34, 249, 14, Qt::white);
    Put(p, s.Get("Custom", "button-cancel-normal.png"), 156, 246);
    Put(p, s.Get("Custom", "button-cancel-normal.png"), 210, 246);
    Put(p, s.Get("Custom", "button-save-over.png"), 264, 246);
    Label(p, "Default", 158, 248, 14, Qt::white);
    Label(p, "Cancel", 213, 248, 14, Qt::white);
    Label(p, "Save", 272, 248, 14, Qt::white);
    return w;
}

// The second model's dialog on its Basic page, with the tree as it paints.
QImage ComposeCustomTree(const Skins& s)
{
    QImage w = s.Get("Custom", "Custom_BK.png");
    QPainter p(&w);
    Label(p, "Current Key:F5 ", 2, 2, 14, Qt::white);
    Put(p, s.Get("Custom", "button-close-over.png"), 303, 2);
    for (int i = 0; i < 3; ++i) Put(p, s.Get("Custom", "large_button420.png"), 108 * i, 31);
    Put(p, s.Get("Custom", "single_combine_option420.png"), 0, 30);
    Put(p, s.Get("Custom", "cursor.png"), 270, 30);
    Label(p, "Single/Combine", 16, 39, 14, QColor(192, 192, 192));
    Label(p, "Macro", 145, 39, 14, QColor(192, 192, 192));
    Label(p, "Basic", 255, 39, 14, Qt::white);

    p.fillRect(QRect(10, 60, 295, 160), QColor(30, 30, 30));
    struct Row {
        const char* text;
        int depth;
        int marker;  // 0 none, 133 collapsed, 134 expanded
    };
    const Row rows[] = {{"Search", 0, 0}, {"Run", 0, 0},  {"Media", 0, 134}, {"Play/Pause", 1, 0}, {"Stop", 1, 0},
                        {"Prev", 1, 0},   {"Next", 1, 0}, {"Mute", 1, 0},    {"Shortcut", 0, 133}};
    p.setClipRect(QRect(10, 60, 295, 160));
    for (int i = 0; i < 9; ++i) {
        const int top = 60 + 17 * i;
        const int textLeft = 10 + 20 + 20 * rows[i].depth + 7;
        if (i == 6) p.fillRect(QRect(10, top, 295, 17), QColor(102, 46, 47));
        if (rows[i].marker) {
            const QImage marker = s.Resource(rows[i].marker);
            Put(p, marker, textLeft - marker.width() - 2, top + 4);
        }
        QFont f = SheetFont(12);
        p.setFont(f);
        p.setPen(Qt::white);
        p.drawText(QPointF(textLeft, top + 13), rows[i].text);
    }
    p.setClipping(false);
    Put(p, s.Get("Custom", "Enable.png"), 19, 251);
    Label(p, "Disable", 34, 249, 14, Qt::white);
    Put(p, s.Get("Custom", "button-cancel-over.png"), 156, 246);
    Put(p, s.Get("Custom", "button-cancel-normal.png"), 210, 246);
    Put(p, s.Get("Custom", "button-save-normal.png"), 264, 246);
    Label(p, "Default", 158, 248, 14, Qt::white);
    Label(p, "Cancel", 213, 248, 14, Qt::white);
    Label(p, "Save", 272, 248, 14, Qt::white);
    return w;
}

QImage ComposeMacroManager(const Skins& s)
{
    QImage w = s.Get("MacroManagement", "MacroManagement.png");
    QPainter p(&w);
    Label(p, "Macro Manager", 16, 9, 18, Qt::white);
    Label(p, "Select Macro", 39, 60, 15, Qt::white);
    Label(p, "Keystrobe Sequence", 151, 60, 15, Qt::white);
    Label(p, "Options", 311, 60, 15, Qt::white);
    // List rows as the list box draws them over resource 145.
    auto row = [&](int x, int y, const QString& text, bool selected, int mark) {
        QFont f = SheetFont(14, true);
        p.setFont(f);
        p.setPen(Qt::black);
        p.drawText(QPointF(x + 2, y + 14 + 2), text);
        p.setPen(selected ? QColor(0, 255, 255) : Qt::white);
        p.drawText(QPointF(x, y + 14), text);
        if (mark) Put(p, s.Resource(mark), x + 113 - 20, y);
    };
    row(20, 80, "Macro_001", true, 0);
    row(20, 98, "Macro_002", false, 0);
    row(150, 80, "A  ", false, 131);
    row(150, 98, "250 ms", false, 137);
    row(150, 116, "A  ", false, 138);
    row(150, 134, "B  ", true, 131);
    Put(p, s.Get("MacroManagement", "Record-over.png"), 290, 100);
    Label(p, "Start Recording", 292, 103, 15, Qt::white);
    Label(p, "Record Delay", 290, 153, 15, Qt::white);
    Label(p, "between", 290, 168, 15, Qt::white);
    Label(p, "keystrokes", 290, 183, 15, Qt::white);
    Put(p, s.Get("MacroManagement", "PaneMakingTick.png"), 368, 168);
    Label(p, "Number of Loops", 295, 300, 15, Qt::white);
    Put(p, s.Get("MacroManagement", "Pane.png"), 296, 315);
    p.fillRect(QRect(296, 331, 84, 18), QColor(109, 109, 109));
    Put(p, s.Get("MacroManagement", "button-new-normal.png"), 20, 368);
    Put(p, s.Get("MacroManagement", "button-new-normal.png"), 80, 368);
    Put(p, s.Get("MacroManagement", "button-new-over.png"), 280, 400);
    Put(p, s.Get("MacroManagement", "button-new-normal.png"), 340, 400);
    Label(p, "New", 35, 372, 15, Qt::white);
    Label(p, "Delete", 92, 372, 15, Qt::white);
    Label(p, "OK", 300, 404, 15, Qt::white);
    Label(p, "Cancel", 352, 404, 15, Qt::white);
    return w;
}

// Left-to-right flow of tiles that wraps at the sheet's width.
class Flow {
public:
    explicit Flow(int y) : y_(y) {}
    QPoint Place(QSize size)
    {
        if (x_ + size.width() > kSheetWidth - kMargin && x_ > kMargin) NewRow();
        const QPoint at(x_, y_);
        x_ += size.width() + 16;
        rowHeight_ = std::max(rowHeight_, size.height());
        return at;
    }
    int NewRow()
    {
        y_ += rowHeight_ + 16;
        x_ = kMargin;
        rowHeight_ = 0;
        return y_;
    }
    int y() const { return y_; }

private:
    int x_ = kMargin, y_, rowHeight_ = 0;
};

struct Tile {
    QString name;
    QImage image;
};

// Big pictures are shown reduced, tiny ones enlarged with square pixels.
QImage Shown(const QImage& image, QString& scaleNote)
{
    if (image.isNull()) return image;
    if (image.width() > 460 || image.height() > 300) {
        const QImage small = image.scaled(460, 300, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        scaleNote = QStringLiteral("  (shown %1%)").arg(100 * small.width() / image.width());
        return small;
    }
    const int longest = std::max(image.width(), image.height());
    const int factor = longest <= 24 ? 4 : (longest <= 64 ? 2 : 1);
    if (factor > 1) {
        scaleNote = QStringLiteral("  (shown x%1)").arg(factor);
        return image.scaled(image.size() * factor, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    }
    return image;
}

int DrawTiles(QPainter* p, const QString& heading, const std::vector<Tile>& tiles, int y)
{
    if (p) {
        p->setFont(SheetFont(20, true));
        p->setPen(kCaption);
        p->drawText(QPointF(kMargin, y + 20), heading);
        p->fillRect(QRect(kMargin, y + 28, kSheetWidth - 2 * kMargin, 2), art::theme::kRed);
    }
    Flow flow(y + 42);
    const QFont nameFont = SheetFont(12, true), sizeFont = SheetFont(11);
    for (const Tile& tile : tiles) {
        QString note;
        const QImage shown = Shown(tile.image, note);
        const QString sizeText =
            tile.image.isNull()
                ? QStringLiteral("MISSING")
                : QStringLiteral("%1 x %2%3").arg(tile.image.width()).arg(tile.image.height()).arg(note);
        const int textWidth = static_cast<int>(std::max(QFontMetricsF(nameFont).horizontalAdvance(tile.name),
                                                        QFontMetricsF(sizeFont).horizontalAdvance(sizeText)));
        const QSize box(std::max(shown.width() + 2, textWidth) + 8, shown.height() + 2 + 40);
        const QPoint at = flow.Place(box);
        if (!p) continue;
        p->fillRect(QRect(at, box), QColor(44, 44, 49));
        p->setPen(QColor(96, 96, 104));
        p->drawRect(QRect(at + QPoint(4, 4), shown.size() + QSize(1, 1)));
        p->drawImage(at + QPoint(5, 5), shown);
        p->setFont(nameFont);
        p->setPen(kCaption);
        p->drawText(QPointF(at.x() + 4, at.y() + shown.height() + 20), tile.name);
        p->setFont(sizeFont);
        p->setPen(tile.image.isNull() ? QColor(255, 80, 80) : QColor(170, 170, 178));
        p->drawText(QPointF(at.x() + 4, at.y() + shown.height() + 35), sizeText);
    }
    return flow.NewRow();
}

// Lays the whole sheet out; with a null painter it only measures.
int DrawSheet(QPainter* p, const Skins& skins)
{
    int y = kMargin;
    if (p) {
        p->setFont(SheetFont(26, true));
        p->setPen(kCaption);
        p->drawText(QPointF(kMargin, y + 26), QStringLiteral("ZR417 skins: contact sheet"));
        p->setFont(SheetFont(13));
        p->setPen(QColor(170, 170, 178));
        p->drawText(QPointF(kMargin, y + 46),
                    QStringLiteral("Composed previews use the written files at their window positions; the texts "
                                   "are placeholders for what the windows draw at run time."));
    }
    y += 60;

    const std::vector<Tile> composed = {
        {QStringLiteral("Main window (QV310, help menu open)"), ComposeMain(skins)},
        {QStringLiteral("Profile manager"), ComposeConfig(skins)},
        {QStringLiteral("Key assignment, Advance page"), ComposeCustomAdvance(skins)},
        {QStringLiteral("Key assignment (QV420), Basic page"), ComposeCustomTree(skins)},
        {QStringLiteral("Macro manager"), ComposeMacroManager(skins)},
    };
    if (p) {
        p->setFont(SheetFont(20, true));
        p->setPen(kCaption);
        p->drawText(QPointF(kMargin, y + 20), QStringLiteral("Composed windows"));
        p->fillRect(QRect(kMargin, y + 28, kSheetWidth - 2 * kMargin, 2), art::theme::kRed);
    }
    Flow flow(y + 42);
    for (const Tile& tile : composed) {
        const QPoint at = flow.Place(tile.image.size() + QSize(0, 24));
        if (!p) continue;
        p->drawImage(at, tile.image);
        p->setFont(SheetFont(13, true));
        p->setPen(kCaption);
        p->drawText(QPointF(at.x(), at.y() + tile.image.height() + 17), tile.name);
    }
    y = flow.NewRow();

    const std::pair<std::string_view, QString> folders[] = {
        {"", QStringLiteral("png/<language>/  (main window)")},
        {"Config", QStringLiteral("png/<language>/Config/  (profile manager)")},
        {"Custom", QStringLiteral("png/<language>/Custom/  (key assignment)")},
        {"MacroManagement", QStringLiteral("png/<language>/MacroManagement/  (macro manager)")},
        {"DIY", QStringLiteral("png/<language>/DIY/  (per-key colours)")},
    };
    for (const auto& [folder, heading] : folders) {
        std::vector<Tile> tiles;
        for (const SkinSpec& skin : SkinTable())
            if (skin.folder == folder) tiles.push_back({Q(skin.name), skins.Get(folder, skin.name)});
        y = DrawTiles(p, heading, tiles, y);
    }
    std::vector<Tile> resources;
    for (const SkinSpec& skin : ResourceTable()) {
        const QString name = Q(skin.name);
        const int id = name.section('/', 1).section('.', 0, 0).toInt();
        resources.push_back({name, name.startsWith("icon") ? skins.Icon(id) : skins.Resource(id)});
    }
    y = DrawTiles(p, QStringLiteral("Compiled-in resources (bitmaps and program icons)"), resources, y);
    return y + kMargin;
}

}  // namespace

QImage ContactSheet(const QString& languageDir, const QString& resourceDir)
{
    const Skins skins(languageDir, resourceDir);
    const int height = DrawSheet(nullptr, skins);
    QImage sheet(kSheetWidth, height, QImage::Format_RGB32);
    sheet.fill(kSheet);
    QPainter p(&sheet);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    DrawSheet(&p, skins);
    return sheet;
}

}  // namespace zr417::skingen
