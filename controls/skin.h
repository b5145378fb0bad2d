// Skin drawing shared by the skinned windows: finding a skin file, decoding it
// once, copying it opaque, writing skin text, and the compiled-in bitmap and
// icon resources.
#pragma once

#include "platform/files.h"

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QImage>
#include <QString>

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

class QPainter;

namespace zr417 {

// The skins were made for a case-insensitive file system and some names are
// used in two spellings (disable.png / Disable.png): the exact name wins, else
// the first entry of the folder that matches ignoring case. Empty when none.
QString ResolveSkinPath(const QString& folder, const QString& fileName);

// Decoded skins by path. A window's SkinFolder decodes each picture at most
// once, failures included, so a repaint never touches the disk. Images are
// kept opaque (RGB32) with the colour values the file stores, also under
// fully transparent pixels. Used from the GUI thread only.
//
// A picture taken through a SkinFolder stays decoded while some copy of that
// folder (one per window) lives; when the last window that drew it goes, the
// picture is released, so closed dialogs hold no decoded skins. A picture
// asked for by path alone (the compiled-in bitmaps) stays until clear().
// Images come back by value: a copy shares the decoded pixels and keeps them
// alive however the cache changes.
//
// High-resolution screens: every skin name.png has a twin name@2x.png drawn
// at twice each side. For a device pixel ratio above 1 the twin is taken
// (with its device pixel ratio set to 2, so it still measures and draws in
// the layout's units); without a twin, the plain picture.
class SkinImageCache {
public:
    SkinImageCache() = default;
    SkinImageCache(const SkinImageCache&) = delete;
    SkinImageCache& operator=(const SkinImageCache&) = delete;
    ~SkinImageCache();

    // Null image when the file is missing or cannot be decoded. Kept until clear().
    QImage Get(const QString& path);
    // The picture for a device of `devicePixelRatio`.
    QImage Get(const QString& path, qreal devicePixelRatio);
    // Decode attempts so far.
    int decodeCount() const { return decodeCount_; }
    // Pictures (and failed attempts) held now.
    std::size_t size() const { return images_.size(); }
    void clear();

    // The program's cache, shared by every window.
    static SkinImageCache& Shared();

    // The pictures one window holds; released together when it goes.
    class Lease;

private:
    struct Entry {
        QImage image;
        int leases = 0;     // windows that hold it
        bool kept = false;  // asked for by path alone
    };
    Entry& Find(const QString& path);
    QImage Take(const QString& path, Lease* lease);
    QImage Take(const QString& path, qreal devicePixelRatio, Lease* lease);
    bool Release(const std::string& key);  // true when the picture went

    std::unordered_map<std::string, Entry> images_;
    std::unordered_set<Lease*> leases_;  // alive, told when the cache goes first
    int decodeCount_ = 0;

    friend class SkinFolder;
};

// One window's skin folder (png/<language>/ and maybe a subfolder). Copies
// share what they have decoded; it is released when the last copy goes.
class SkinFolder {
public:
    SkinFolder() = default;
    // The shared cache unless one is given.
    explicit SkinFolder(QString dir, SkinImageCache* cache = nullptr);
    // exeDir/png/chinese/ for language 4, exeDir/png/english/ otherwise, then
    // `subfolder` ("Config", "Custom", "MacroManagement", "DIY") when given.
    static SkinFolder ForLanguage(const AppPaths& paths, int language, std::string_view subfolder = {},
                                  SkinImageCache* cache = nullptr);

    const QString& dir() const { return dir_; }
    // Path of an existing file for `fileName` (any letter case), else empty.
    QString PathOf(std::string_view fileName) const;
    // The decoded picture, null when the file is missing or undecodable; for
    // a device pixel ratio above 1 its @2x twin where there is one.
    QImage Image(std::string_view fileName, qreal devicePixelRatio = 1) const;
    // The picture's size as its file states it, without decoding it (a window
    // sized by its background at 200 % never needs the plain picture);
    // invalid when the file is missing or not a picture.
    QSize Size(std::string_view fileName) const;

private:
    QString dir_;  // ends in '/'
    SkinImageCache* cache_ = nullptr;
    std::shared_ptr<SkinImageCache::Lease> lease_;
};

// The picture as skins are kept: RGB32 with the colour values the source
// stores, also under fully transparent pixels (alpha is dropped, not blended).
QImage OpaqueSkinImage(const QImage& image);

// name.png -> name@2x.png
QString HighResolutionName(const QString& fileName);

// The device pixel ratio of what the painter draws on.
qreal DevicePixelRatio(const QPainter& painter);
// The size of a picture in the layout's units (an @2x twin measures half).
QSize LayoutSize(const QImage& image);
// An off-screen frame of `size` layout units for a device of
// `devicePixelRatio`: what is drawn into it stays sharp when it is copied
// to the window.
QImage MakeFrame(QSize size, qreal devicePixelRatio, QImage::Format format = QImage::Format_RGB32);

// The part `source` (layout units) of a frame made by MakeFrame, with the
// frame's resolution.
QImage CopyFramePart(const QImage& frame, const QRect& source);

// Opaque copy of the whole picture with its top-left corner at (x, y): no
// blending, transparent pixels show the colour values they store. A null
// image draws nothing. Positions and sizes are layout units.
void DrawSkinImage(QPainter& painter, const QImage& image, int x, int y);
// The picture for the painter's device (its @2x twin on a high-resolution one).
void DrawSkinImage(QPainter& painter, const SkinFolder& skins, std::string_view fileName, int x, int y);
// Part of a picture: `source` in layout units of the picture, copied opaque
// to (x, y).
void DrawSkinImagePart(QPainter& painter, const QImage& image, int x, int y, const QRect& source);

// The skin font: Arial (Liberation Sans stands in), weight 300 unless given,
// with a CJK fallback for the Chinese texts. `height` is a character cell
// height as the windows state it (ascent + descent).
QFont SkinFont(int height, int weight = 300);
// Text with its top-left corner at (x, y), transparent background.
void DrawSkinText(QPainter& painter, const QString& text, int x, int y, int height,
                  const QColor& colour = QColor(255, 255, 255), int weight = 300);

// Text that must end within `width` pixels of x. The skin font when it fits;
// else the narrow face of the family (Arial Narrow, or Liberation Sans
// Narrow, its metric twin), then that face up to three pixels smaller, kept
// on the same line; only text that still does not fit is narrowed by scaling.
void DrawFittedSkinText(QPainter& painter, const QString& text, int x, int y, int height, int width,
                        const QColor& colour = QColor(255, 255, 255), int weight = 300);
// The font DrawFittedSkinText draws `text` with (scaling aside).
QFont FittedSkinFont(const QString& text, int height, int width, int weight = 300);

// Numbered bitmap resources (131, 133, 134, 137, 138, 139, 140, 141, 145),
// decoded once and kept; null for an unknown number. Their @2x twins for a
// device pixel ratio above 1.
QImage LoadBitmapResource(int id, qreal devicePixelRatio = 1);
// Program icons 128 and 155.
QIcon LoadIconResource(int id);

}  // namespace zr417
