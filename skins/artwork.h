// The skin artwork, drawn with QPainter. Every picture is opaque: the program
// copies skins without blending, so each one carries the exact background it
// lands on (flat theme colours, or the crop of the window backdrop under it).
#pragma once

#include <QColor>
#include <QImage>
#include <QSize>

#include <functional>
#include <string_view>
#include <vector>

namespace zr417::art {

// Theme colours. Labels are drawn at run time in grey 53,53,53 on the light
// cards, and in white on the dark dialogs.
namespace theme {
inline const QColor kChassisTop{27, 27, 31};
inline const QColor kChassisBottom{12, 12, 14};
inline const QColor kBar{17, 17, 19};  // bottom bar of the main window
inline const QColor kRed{214, 24, 32};
inline const QColor kRedBright{255, 62, 70};
inline const QColor kRedDark{112, 12, 18};
inline const QColor kCard{200, 201, 205};  // light card under the grey labels
inline const QColor kCardEdge{142, 143, 149};
inline const QColor kCardHeader{226, 227, 230};
inline const QColor kField{240, 240, 242};
inline const QColor kDialog{30, 30, 30};  // key assignment dialog = tree background
inline const QColor kPanel{22, 22, 25};   // dark dialogs' base
inline const QColor kWell{16, 16, 18};    // list wells
inline const QColor kLine{72, 72, 80};
inline const QColor kText{236, 236, 240};
}  // namespace theme

// Pictures are drawn in layout units at the current scale: 1 for name.png,
// 2 for its name@2x.png twin on high-resolution screens (twice each side,
// device pixel ratio 2). The generator sets the scale around each drawing.
class ScopedScale {
public:
    explicit ScopedScale(int scale);
    ~ScopedScale();
    ScopedScale(const ScopedScale&) = delete;
    ScopedScale& operator=(const ScopedScale&) = delete;

private:
    int previous_;
};
int CurrentScale();

// Window positions the artwork is cut to (main window client coordinates).
inline constexpr int kMainWidth = 1000;
inline constexpr int kMainHeight = 640;

// The full main window backdrop; every main-window picture with a single
// position starts from its crop, so it sits seamlessly on main.png.
const QImage& MainBackdrop();
QImage BackdropCrop(int x, int y, QSize size);

// Main window.
QImage MainBackground(QSize size);
QImage TitleButton(QSize size, int x, char glyph);  // glyph '?', '_', 'x'
QImage Logo(QSize size);
QImage Keyboard(QSize size, bool qv420, bool lit);
QImage LightButton(QSize size, int x, int y, bool accent);
QImage ProfileButton(QSize size);
QImage HelpWindow(QSize size);
QImage ItemHeader(QSize size);
QImage EffectRow(QSize size);
QImage EffectField(QSize size);
QImage SpeedCard(QSize size);
QImage MultiColourCell(QSize size);
QImage Led(QSize size, bool on, QColor background);
QImage DirectionButton(QSize size, int direction, bool enabled);
QImage MacroPanel(QSize size);
QImage MacroButton(QSize size);
QImage GameModePanel(QSize size);
QImage SplashScreen(QSize size);

// Profile manager.
QImage ConfigPanel(QSize size);
QImage DarkCloseButton(QSize size, QColor background, bool over);
QImage IconButton(QSize size, QColor background, char glyph);  // '+' new, '-' delete

// Key assignment dialogs.
QImage CustomBackground(QSize size);
QImage TabMarker(QSize size);
QImage AdvancedPage(QSize size);
QImage PathField(QSize size);
QImage BrowseButton(QSize size, bool over);
QImage TabButton(QSize size);
QImage TabStrip(QSize size);
QImage DarkButton(QSize size, QColor background, bool over, bool accent);

// Macro manager.
QImage MacroManagerBackground(QSize size);
QImage CheckBox(QSize size, bool ticked);

// Bitmap resources.
QImage StepMark(QSize size, int kind);  // 0 press, 1 release, 2 delay
QImage TreeMarker(QSize size, bool expanded);
QImage SliderChannel(QSize size, bool filled);
QImage SliderThumb(QSize size);
QImage ListBackground(QSize size);
QImage ProgramIcon(QSize size, bool about);

}  // namespace zr417::art

namespace zr417::skingen {

// One picture the generator writes. Folder "" is png/<language>/ itself; a
// resource has an empty folder and a name of the form "bitmap/131.png".
struct SkinSpec {
    std::string_view folder;
    std::string_view name;
    int width;
    int height;
    std::function<QImage(QSize)> paint;
};

// The skins written into both language folders.
const std::vector<SkinSpec>& SkinTable();
// The bitmap and icon resources compiled into the program (res/bitmap/<id>.png,
// res/icon/<id>.png).
const std::vector<SkinSpec>& ResourceTable();

}  // namespace zr417::skingen
