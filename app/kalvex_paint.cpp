// The main window's redraw: the client area drawn in the drawing order into
// the window's back buffer, which reaches the screen in one piece.
#include "app/kalvex_dlg.h"

#include "config/keys.h"
#include "controls/bit_slider.h"
#include "controls/skin_names.h"

#include <QFontMetrics>
#include <QPaintEvent>
#include <QPainter>
#include <QPixmap>
#include <QPolygonF>

namespace zr417 {

namespace mw = skins::main_window;

namespace {

const QColor kGrey(53, 53, 53);
const QColor kProfileRed(255, 0, 0);
const QColor kSaveRed(239, 14, 2);
const QColor kRowHover(80, 0, 0);
const QColor kRow(59, 59, 59);
const QColor kWhite(255, 255, 255);

constexpr int kLabelHeight = 16;   // bottom bar
constexpr int kPanelHeight = 15;   // panel texts
constexpr int kListHeight = 14;    // list and field names
constexpr int kSliderHeight = 13;  // slider labels
// The name in an effect field (16 high): one pixel below its top border.
constexpr int kFieldTextTop = 1;
constexpr int kFieldHeight = 13;

QString qs(std::string_view s)
{
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

}  // namespace

void CKalvexDlg::DrawImage(QPainter& p, std::string_view name, int x, int y)
{
    // A missing skin leaves its area unpainted.
    DrawSkinImage(p, skins_, name, x, y);
}

void CKalvexDlg::DrawText(QPainter& p, std::string_view text, int x, int y, int height, QColor colour)
{
    DrawSkinText(p, qs(text), x, y, height, colour);
}

// The right-hand slider labels stand at x = 230; a longer English word is
// moved left so that it still ends inside the card (x 250).
void CKalvexDlg::DrawRightLabel(QPainter& p, std::string_view text, int x, int y, int height, QColor colour)
{
    int width = QFontMetrics(SkinFont(height)).horizontalAdvance(qs(text));
    DrawText(p, text, std::min(x, 250 - width), y, height, colour);
}

void CKalvexDlg::DrawCentredText(QPainter& p, std::string_view text, int centreX, int y, int height, QColor colour)
{
    int width = QFontMetrics(SkinFont(height)).horizontalAdvance(qs(text));
    DrawText(p, text, centreX - width / 2, y, height, colour);
}

void CKalvexDlg::paintEvent(QPaintEvent* event)
{
    // Straight into the window's own back buffer, and only what is to be
    // repainted (the progress of a conversation is a small part).
    QPainter p(this);
    Compose(p, event->region());
}

QImage CKalvexDlg::Compose()
{
    QImage frame = MakeFrame(size(), devicePixelRatioF());
    QPainter p(&frame);
    Compose(p, QRegion(rect()));
    return frame;
}

void CKalvexDlg::Compose(QPainter& p, const QRegion& region)
{
    // Drawn at the device's resolution (skins from their @2x twins above
    // 100 %), in the layout's units.
    ++composeCount_;
    p.setClipRegion(region);
    p.fillRect(rect(), Qt::black);
    const int lang = g_nLanguage;

    DrawSkinImage(p, Pictures(DevicePixelRatio(p)).backdrop, 0, 0);
    DrawImage(p, mw::kHelpNormal, 936, 5);
    DrawImage(p, mw::kMinNormal, 957, 5);
    DrawImage(p, mw::kCloseNormal, 978, 5);
    DrawImage(p, mw::kLogo, 19, 35);
    DrawKeyboard(p);
    DrawImage(p, mw::kCancelNormal, 800, 605);
    DrawImage(p, mw::kCancelNormal, 862, 605);
    // While the keyboard is busy the Save button stays held down.
    const int down = keyboardBusy() ? 1 : 0;
    DrawImage(p, mw::kSaveNormal, 924 + down, 605 + down);
    DrawImage(p, mw::kProfileButton, 17, 603);
    DrawText(p, texts::kProfile.in(lang), 45, 610, kLabelHeight, kProfileRed);
    DrawText(p, texts::kDefault.in(lang), 810, 612, kLabelHeight, kGrey);
    DrawText(p, texts::kCancel.in(lang), 872, 612, kLabelHeight, kGrey);
    DrawText(p, texts::kSave.in(lang), (lang == kLanguageChinese ? 934 : 938) + down, 612 + down, kLabelHeight,
             kSaveRed);
    if (down) DrawBusy(p);  // within kBusyArea
    DrawPanel(p);
    if (panel_.helpOpen) DrawHelpMenu(p);
}

// An hourglass that never moves, with the sand in the Save button's red.
QCursor CKalvexDlg::StillWaitCursor() const
{
    const qreal ratio = devicePixelRatioF();
    QPixmap picture(QSize(16, 24) * ratio);
    picture.setDevicePixelRatio(ratio);
    picture.fill(Qt::transparent);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    const QPolygonF glass{{3, 3}, {13, 3}, {9, 12}, {13, 21}, {3, 21}, {7, 12}};
    p.setPen(QPen(Qt::black, 1.5));
    p.setBrush(kWhite);
    p.drawPolygon(glass);
    p.setPen(Qt::NoPen);
    p.setBrush(kSaveRed);
    p.drawPolygon(QPolygonF{{5.5, 7}, {10.5, 7}, {8, 11}});
    p.drawPolygon(QPolygonF{{8, 15}, {11.5, 20}, {4.5, 20}});
    p.setBrush(Qt::black);
    p.drawRoundedRect(QRectF(1, 0.5, 14, 2.5), 1, 1);
    p.drawRoundedRect(QRectF(1, 21, 14, 2.5), 1, 1);
    p.end();
    return QCursor(picture, 8, 12);
}

// The Save button pressed in (its face shaded, a dark edge on the top and
// left) and a thin line under the buttons that fills as the reports go out.
void CKalvexDlg::DrawBusy(QPainter& p)
{
    const QRect save(924, 605, 57, 31);
    p.fillRect(save, QColor(0, 0, 0, 70));
    p.fillRect(QRect(save.left(), save.top(), save.width(), 1), QColor(0, 0, 0, 160));
    p.fillRect(QRect(save.left(), save.top(), 1, save.height()), QColor(0, 0, 0, 160));

    const QRect track(800, 637, 181, 2);
    p.fillRect(track, kGrey);
    KeyboardSession::Progress progress = session_->progress();
    double done = progress.planned > 0 ? std::min(1.0, double(progress.done) / progress.planned) : 0.0;
    p.fillRect(QRect(track.left(), track.top(), static_cast<int>(track.width() * done), track.height()), kSaveRed);
}

namespace {

// The smallest rectangle of the keyboard picture that holds every key.
QRect KeysArea()
{
    QRect area;
    for (const KeyRect& r : g_keyRectByKey) area |= QRect(QPoint(r.left, r.top), QPoint(r.right, r.bottom));
    return area;
}

}  // namespace

// The pictures the main window draws most, made once per model and screen
// resolution. The background and the plain keyboard as one picture: nothing
// is drawn between them, and the keyboard alone would cost a third of the
// background again at 200 %. Of the lit keyboard only the part that holds
// keys is kept (under half of it); a key is copied from there when it lights.
const CKalvexDlg::KeyboardPictures& CKalvexDlg::Pictures(qreal devicePixelRatio)
{
    const int m = model();
    if (pictures_.model == m && pictures_.ratio == devicePixelRatio) return pictures_;
    const bool first = m == kModelQV310;
    // Decoded through a cache of their own, gone once these are made.
    SkinImageCache pieces;
    const SkinFolder skins(skins_.dir(), &pieces);
    QImage frame = MakeFrame(size(), devicePixelRatio);
    frame.fill(Qt::black);  // where a picture is missing
    {
        QPainter p(&frame);
        DrawSkinImage(p, skins, mw::kBackground, 0, 0);
        DrawSkinImage(p, skins, first ? mw::kKeyboardQV310 : mw::kKeyboardQV420, kKeyboardPictureX, kKeyboardPictureY);
    }
    const QRect keys = KeysArea();
    const QImage lit = skins.Image(first ? mw::kKeyboardLitQV310 : mw::kKeyboardLitQV420, devicePixelRatio);
    pictures_ = {frame, lit.isNull() ? QImage() : CopyFramePart(lit, keys), keys.topLeft(), m, devicePixelRatio};
    return pictures_;
}

void CKalvexDlg::DrawKeyboard(QPainter& p)
{
    const KeyboardPictures& pictures = Pictures(DevicePixelRatio(p));
    const ConfigImage& image = store_->current();
    auto page = PicturePageOf(image.at(settings::Effect));
    if (panel_.perKeyMode) {
        if (!page) return;
        // Coloured keys filled with their colour and labelled in the
        // complementary colour; black keys stay as the picture shows them.
        p.setFont(SkinFont(10));
        for (int k = 0; k < kKeyCount; ++k) {
            Rgb c = KeyColour(image, *page, k);
            if (c == Rgb{0, 0, 0}) continue;
            const KeyRect& r = g_keyRectByKey[k];
            p.fillRect(QRect(QPoint(r.left + kKeyboardPictureX, r.top + kKeyboardPictureY),
                             QPoint(r.right + kKeyboardPictureX, r.bottom + kKeyboardPictureY)),
                       QColor(c.r, c.g, c.b));
            p.setPen(QColor(255 - c.r, 255 - c.g, 255 - c.b));
            const KeyPoint& lp = kKeyLabelPoints[k];
            p.drawText(QRect(lp.x + 270, lp.y + 80, 200, 18), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                       qs(g_keyLabels[k]));
        }
        return;
    }
    if (pictures.litKeys.isNull()) return;
    auto highlight = [&](int k) {
        if (k < 0 || k >= kKeyCount || k == kFnKey) return;
        const KeyRect& r = g_keyRectByKey[k];
        const QRect src = QRect(QPoint(r.left, r.top), QPoint(r.right, r.bottom)).translated(-pictures.litKeysAt);
        DrawSkinImagePart(p, pictures.litKeys, r.left + kKeyboardPictureX, r.top + kKeyboardPictureY, src);
    };
    highlight(keyState_.g_nSelectedKey());
    for (int k = 0; k < kKeyCount; ++k)
        if (keyState_.g_abKeyChanged()[k] == 1) highlight(k);
}

void CKalvexDlg::DrawColourCells(QPainter& p, int y, std::uint8_t colourIndex)
{
    for (int i = 0; i < 7; ++i) {
        const Rgb& c = kPalette[i];
        p.fillRect(28 + 25 * i, y, 20, 20, QColor(c.r, c.g, c.b));
    }
    DrawImage(p, mw::kMultiColour, 203, y);
    int frameX = colourIndex >= 1 && colourIndex <= 7 ? 26 + 25 * (colourIndex - 1) : 201;
    if (colourIndex <= 7) {
        p.setPen(kWhite);
        p.setBrush(Qt::NoBrush);
        p.drawRect(frameX, y - 2, 22, 22);  // 23 x 23 outline
    }
}

void CKalvexDlg::DrawSlider(QPainter& p, int id)
{
    if (CBitSlider* s = slider(id)) DrawSliderSkin(p, *s);
}

void CKalvexDlg::DrawPanel(QPainter& p)
{
    const int lang = g_nLanguage;
    const Model m = ModelOf(model());
    ConfigImage& image = store_->current();
    const std::uint8_t effect = image.at(settings::Effect);
    const PanelLayout layout = ComputePanelLayout(image, panel_, m);

    // Main group.
    DrawImage(p, mw::kItemBK, 19, 110);
    DrawText(p, texts::kLight.in(lang), 28, 112, kPanelHeight, kGrey);
    DrawImage(p, mw::kLEDEffectOpen, 19, 130);
    DrawText(p, texts::kEffect.in(lang), 28, 137, kPanelHeight, kGrey);
    DrawImage(p, mw::kLightItem, 28, 158);
    DrawText(p, EffectName(m, effect, lang), 34, kFieldTextTop + 158, kFieldHeight, kGrey);

    // Speed and brightness share the card.
    if (!panel_.effectListOpen) DrawImage(p, mw::kFreq, 19, 245);
    // Each slider before its labels: the 17-pixel channel reaches into the
    // line of the labels under it, and its lower rows are plain card.
    if (layout.speed) {
        DrawSlider(p, kSliderSpeed);
        DrawText(p, texts::kSpeed.in(lang), 28, 290, kSliderHeight, kGrey);
        DrawText(p, texts::kSlow.in(lang), 28, 317, kSliderHeight, kGrey);
        DrawRightLabel(p, texts::kFast.in(lang), 230, 317, kSliderHeight, kGrey);
    }
    if (layout.brightness) {
        DrawSlider(p, kSliderBrightness);
        DrawText(p, texts::kBrightness.in(lang), 28, 247, kSliderHeight, kGrey);
        DrawText(p, texts::kDark.in(lang), 28, 274, kSliderHeight, kGrey);
        DrawRightLabel(p, texts::kBright.in(lang), 230, 274, kSliderHeight, kGrey);
    }

    if (layout.colourCells) DrawColourCells(p, 223, image.at(settings::ColourIndex));
    if (layout.directions) {
        DrawText(p, texts::kDirection.in(lang), 29, 177, kPanelHeight, kGrey);
        // The buttons run top, bottom, left, right: the codes from kTop down.
        const int current = direction::kTop - image.at(settings::Direction);
        for (int d = 0; d < 4; ++d)
            DrawImage(p, d == current ? mw::kDirectionEnable[d] : mw::kDirectionDisable[d], 29 + 50 * d, 197);
    }
    if (layout.keymapSwitch) {
        DrawImage(p, panel_.perKeyMode ? mw::kDisable : mw::kEnable, 28, 199);
        DrawImage(p, panel_.perKeyMode ? mw::kEnable : mw::kDisable, 130, 199);
        DrawText(p, texts::kKeymap.in(lang), 45, 197, kPanelHeight, kGrey);
        DrawText(p, texts::kDiy.in(lang), 147, 197, kPanelHeight, kGrey);
    }

    // Second zone.
    DrawImage(p, mw::kItemBK, 19, 340);
    DrawText(p, texts::kZoneLight.in(lang), 28, 342, kPanelHeight, kGrey);
    DrawImage(p, mw::kLEDEffectOpen, 19, 360);
    DrawText(p, texts::kEffect.in(lang), 28, 367, kPanelHeight, kGrey);
    DrawImage(p, mw::kLightItem, 28, 388);
    DrawText(p, ZoneModeName(m, image.at(settings::ZoneMode), lang), 34, kFieldTextTop + 388, kFieldHeight, kGrey);
    if (layout.zoneDirections) {
        DrawText(p, texts::kDirection.in(lang), 28, 405, kPanelHeight, kGrey);
        const bool left = image.at(settings::ZoneDirection) == direction::kLeft;
        DrawImage(p, left ? mw::kDirectionEnable[skins::kLeft] : mw::kDirectionDisable[skins::kLeft], 29, 425);
        DrawImage(p, left ? mw::kDirectionDisable[skins::kRight] : mw::kDirectionEnable[skins::kRight], 79, 425);
    }
    if (layout.zoneColourCells) {
        WriteZoneColourTable(image);
        DrawColourCells(p, 450, image.at(settings::ZoneColourIndex));
    }
    if (layout.zoneBrightness) {
        DrawSlider(p, kSliderZoneBrightness);
        DrawText(p, texts::kBrightness.in(lang), 28, 470, kSliderHeight, kGrey);
        DrawText(p, texts::kDark.in(lang), 28, 500, kSliderHeight, kGrey);
        DrawRightLabel(p, texts::kBright.in(lang), 230, 500, kSliderHeight, kGrey);
    }
    if (layout.zoneSpeed) {
        DrawSlider(p, kSliderZoneSpeed);
        DrawText(p, texts::kSpeed.in(lang), 28, 515, kSliderHeight, kGrey);
        DrawText(p, texts::kSlow.in(lang), 28, 545, kSliderHeight, kGrey);
        DrawRightLabel(p, texts::kFast.in(lang), 230, 545, kSliderHeight, kGrey);
    }

    // Macro panel.
    DrawImage(p, mw::kMacroManagementBK, 297, 426);
    DrawImage(p, mw::kMacroButton, 299, 456);
    // The panel's title, in its strip like the Game Mode panel's beside it.
    DrawText(p, texts::kMacroManagement.in(lang), 305, 427, kPanelHeight, kGrey);

    // Game Mode and Win Lock: Enable.png on the side of the current state.
    DrawImage(p, mw::kGameModeOpen, 545, 426);
    DrawText(p, texts::kGameMode.in(lang), 545, 426, kPanelHeight, kGrey);
    DrawText(p, texts::kWinLock.in(lang), 675, 426, kPanelHeight, kGrey);
    const bool gameMode = image.at(settings::GameMode) == 1;
    const bool winLock = image.at(settings::WinLock) == 1;
    DrawImage(p, gameMode ? mw::kEnable : mw::kDisable, 560, 459);
    DrawImage(p, gameMode ? mw::kDisable : mw::kEnable, 605, 459);
    DrawImage(p, winLock ? mw::kEnable : mw::kDisable, 690, 459);
    DrawImage(p, winLock ? mw::kDisable : mw::kEnable, 737, 459);
    // Which side is which, under each light.
    for (auto [x, text] : {std::pair{566, texts::kOn}, {611, texts::kOff}, {696, texts::kOn}, {743, texts::kOff}})
        DrawCentredText(p, text.in(lang), x, 472, 12, kGrey);

    DrawLists(p);
}

void CKalvexDlg::DrawLists(QPainter& p)
{
    const int lang = g_nLanguage;
    const Model m = ModelOf(model());
    if (panel_.effectListOpen || panel_.zoneListOpen) {
        auto rows = panel_.effectListOpen ? EffectList(m) : ZoneModeList(m);
        const int top = panel_.effectListOpen ? kEffectListTop : kZoneListTop;
        for (std::size_t r = 0; r < rows.size(); ++r) {
            const int y = top + kListRowHeight * static_cast<int>(r);
            p.fillRect(28, y, 221, kListRowHeight, static_cast<int>(r) == hoverRow_ ? kRowHover : kRow);
            DrawText(p, lang == kLanguageChinese ? rows[r].chinese : rows[r].english, 34, y + 2, kListHeight, kWhite);
        }
    }
}

void CKalvexDlg::DrawHelpMenu(QPainter& p)
{
    const int lang = g_nLanguage;
    DrawImage(p, mw::kHelpWindow, kHelpMenuX, kHelpMenuY);
    DrawText(p, texts::kHomePage.in(lang), 850, 25, kPanelHeight, kGrey);
    DrawText(p, texts::kUpdateFirmware.in(lang), 850, 50, kPanelHeight, kGrey);
    DrawText(p, texts::kVersionLine.in(lang), 850, 75, kPanelHeight, kGrey);
}

}  // namespace zr417
