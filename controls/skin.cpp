#include "skin.h"

#include "platform/fonts.h"

#include <QDir>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QImageReader>
#include <QPainter>
#include <QtMath>

#include <array>
#include <cmath>

#ifdef __GLIBC__
#include <malloc.h>
#endif

// Outside any namespace, as the resource initialiser requires.
static void InitSkinResources()
{
    Q_INIT_RESOURCE(zr417_skin_resources);
}

namespace zr417 {

namespace {

void EnsureResources()
{
    static const bool done = (InitSkinResources(), true);
    (void)done;
}

QString ToQString(std::string_view s)
{
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// A closed window's pictures go back to the system. Once one large picture
// has been freed, the allocator serves the next ones from its heap, which it
// otherwise keeps for good.
void ReturnFreedMemory()
{
#ifdef __GLIBC__
    ::malloc_trim(0);
#endif
}

// Every block from 128 KiB up (any picture worth counting) in a mapping of
// its own, given back whole when freed. Left alone, glibc raises its mapping
// threshold to the size of each large block freed, so after the first decode
// (its full-size temporary) the next pictures land in the heap, where the
// holes closed windows leave stay resident. Setting it also stops the raising.
void MapLargePicturesApart()
{
#ifdef __GLIBC__
    static const bool done = ::mallopt(M_MMAP_THRESHOLD, 128 * 1024) == 1;
    (void)done;
#endif
}

}  // namespace

// Keeps the stored colour of every pixel and drops alpha, as a plain bitmap
// copy of the decoded picture would. RGB32 rather than three bytes a pixel:
// drawn onto the window's RGB32 back buffer it is a plain copy, where RGB888
// takes Qt's converting path, spread over its thread pool for large areas.
QImage OpaqueSkinImage(const QImage& decoded)
{
    if (decoded.isNull() || decoded.format() == QImage::Format_RGB32) return decoded;
    if (!decoded.hasAlphaChannel()) return decoded.convertToFormat(QImage::Format_RGB32);
    // Straight (not premultiplied) alpha keeps the colour under transparent pixels.
    QImage image = decoded.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) line[x] |= 0xff000000u;
    }
    image.reinterpretAsFormat(QImage::Format_RGB32);
    return image;
}

QString ResolveSkinPath(const QString& folder, const QString& fileName)
{
    const QString exact = QDir(folder).filePath(fileName);
    if (QFileInfo(exact).isFile()) return exact;
    const QStringList entries = QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    for (const QString& entry : entries) {
        if (entry.compare(fileName, Qt::CaseInsensitive) == 0) return QDir(folder).filePath(entry);
    }
    return {};
}

class SkinImageCache::Lease {
public:
    explicit Lease(SkinImageCache* cache) : cache_(cache) { cache_->leases_.insert(this); }
    ~Lease()
    {
        if (!cache_) return;
        bool released = false;
        for (const auto& key : keys_) released |= cache_->Release(key);
        cache_->leases_.erase(this);
        if (released) ReturnFreedMemory();
    }
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;

    // False once the cache went first.
    bool cacheAlive() const { return cache_ != nullptr; }

private:
    friend class SkinImageCache;

    SkinImageCache* cache_;
    std::unordered_set<std::string> keys_;  // each counted once in its entry
};

SkinImageCache::~SkinImageCache()
{
    for (Lease* lease : leases_) lease->cache_ = nullptr;
}

SkinImageCache::Entry& SkinImageCache::Find(const QString& path)
{
    const std::string key = path.toStdString();
    if (auto it = images_.find(key); it != images_.end()) return it->second;
    ++decodeCount_;
    MapLargePicturesApart();
    QImage image;
    const QFileInfo info(path);
    const QString resolved = ResolveSkinPath(info.path(), info.fileName());
    if (!resolved.isEmpty()) {
        QImageReader reader(resolved);
        reader.setAutoTransform(false);
        image = OpaqueSkinImage(reader.read());
        // A twin drawn at twice each side measures and draws in layout units.
        if (info.completeBaseName().endsWith(QLatin1String("@2x"), Qt::CaseInsensitive)) image.setDevicePixelRatio(2);
    }
    return images_.emplace(key, Entry{std::move(image)}).first->second;
}

QImage SkinImageCache::Take(const QString& path, Lease* lease)
{
    Entry& entry = Find(path);
    if (!lease)
        entry.kept = true;
    else if (lease->keys_.insert(path.toStdString()).second)
        ++entry.leases;
    return entry.image;
}

QImage SkinImageCache::Take(const QString& path, qreal devicePixelRatio, Lease* lease)
{
    if (devicePixelRatio <= 1) return Take(path, lease);
    const QFileInfo info(path);
    QImage twin = Take(info.dir().filePath(HighResolutionName(info.fileName())), lease);
    return twin.isNull() ? Take(path, lease) : twin;
}

bool SkinImageCache::Release(const std::string& key)
{
    auto it = images_.find(key);
    if (it == images_.end() || --it->second.leases > 0 || it->second.kept) return false;
    images_.erase(it);
    return true;
}

QImage SkinImageCache::Get(const QString& path)
{
    return Take(path, nullptr);
}

QString HighResolutionName(const QString& fileName)
{
    return fileName.endsWith(QLatin1String(".png"), Qt::CaseInsensitive)
               ? fileName.chopped(4) + QLatin1String("@2x") + fileName.right(4)
               : fileName + QLatin1String("@2x");
}

QImage SkinImageCache::Get(const QString& path, qreal devicePixelRatio)
{
    return Take(path, devicePixelRatio, nullptr);
}

void SkinImageCache::clear()
{
    images_.clear();
    // What the windows counted is gone with the entries.
    for (Lease* lease : leases_) lease->keys_.clear();
    decodeCount_ = 0;
}

SkinImageCache& SkinImageCache::Shared()
{
    static SkinImageCache cache;
    return cache;
}

SkinFolder::SkinFolder(QString dir, SkinImageCache* cache)
    : dir_(std::move(dir)), cache_(cache ? cache : &SkinImageCache::Shared())
{
    if (!dir_.isEmpty() && !dir_.endsWith('/')) dir_ += '/';
    lease_ = std::make_shared<SkinImageCache::Lease>(cache_);
}

SkinFolder SkinFolder::ForLanguage(const AppPaths& paths, int language, std::string_view subfolder,
                                   SkinImageCache* cache)
{
    std::filesystem::path dir = paths.skinDir(language);
    if (!subfolder.empty()) dir /= std::string(subfolder);
    return SkinFolder(QString::fromStdString(dir.string()), cache);
}

QString SkinFolder::PathOf(std::string_view fileName) const
{
    return ResolveSkinPath(dir_, ToQString(fileName));
}

QImage SkinFolder::Image(std::string_view fileName, qreal devicePixelRatio) const
{
    if (!cache_ || !lease_ || !lease_->cacheAlive()) return {};
    return cache_->Take(dir_ + ToQString(fileName), devicePixelRatio, lease_.get());
}

QSize SkinFolder::Size(std::string_view fileName) const
{
    const QString path = PathOf(fileName);
    if (path.isEmpty()) return {};
    QImageReader reader(path);
    return reader.size();
}

qreal DevicePixelRatio(const QPainter& painter)
{
    const QPaintDevice* device = painter.device();
    return device ? device->devicePixelRatioF() : 1.0;
}

QSize LayoutSize(const QImage& image)
{
    return image.deviceIndependentSize().toSize();
}

QImage MakeFrame(QSize size, qreal devicePixelRatio, QImage::Format format)
{
    const qreal ratio = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
    QImage frame(QSize(qCeil(size.width() * ratio), qCeil(size.height() * ratio)), format);
    frame.setDevicePixelRatio(ratio);
    return frame;
}

QImage CopyFramePart(const QImage& frame, const QRect& source)
{
    const qreal ratio = frame.devicePixelRatio();
    QImage part =
        frame.copy(QRectF(source.x() * ratio, source.y() * ratio, source.width() * ratio, source.height() * ratio)
                       .toAlignedRect());
    part.setDevicePixelRatio(ratio);
    return part;
}

namespace {

// Pictures land pixel for pixel where their scale is the device's; elsewhere
// (a twin on a 150 % screen) they are filtered, not blocky.
struct OpaqueCopy {
    OpaqueCopy(QPainter& painter, const QImage& image)
        : painter_(painter),
          mode_(painter.compositionMode()),
          smooth_(painter.testRenderHint(QPainter::SmoothPixmapTransform))
    {
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        if (image.devicePixelRatio() != DevicePixelRatio(painter))
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
    }
    ~OpaqueCopy()
    {
        painter_.setCompositionMode(mode_);
        painter_.setRenderHint(QPainter::SmoothPixmapTransform, smooth_);
    }
    QPainter& painter_;
    QPainter::CompositionMode mode_;
    bool smooth_;
};

}  // namespace

void DrawSkinImage(QPainter& painter, const QImage& image, int x, int y)
{
    if (image.isNull()) return;
    const OpaqueCopy copy(painter, image);
    painter.drawImage(x, y, image);
}

void DrawSkinImage(QPainter& painter, const SkinFolder& skins, std::string_view fileName, int x, int y)
{
    DrawSkinImage(painter, skins.Image(fileName, DevicePixelRatio(painter)), x, y);
}

void DrawSkinImagePart(QPainter& painter, const QImage& image, int x, int y, const QRect& source)
{
    if (image.isNull() || source.isEmpty()) return;
    const qreal scale = image.devicePixelRatio();
    const QRectF pixels(source.x() * scale, source.y() * scale, source.width() * scale, source.height() * scale);
    const OpaqueCopy copy(painter, image);
    painter.drawImage(QRectF(QPointF(x, y), QSizeF(source.size())), image, pixels);
}

namespace {

struct FontEntry {
    QFont font;
    double ascent = 0;
    bool made = false;
};

// Fonts are made once per height and weight; text is drawn many times a frame.
const FontEntry& CachedFont(int height, int weight)
{
    static std::array<FontEntry, 2 * 96> entries;
    static FontEntry other;
    const bool light = weight == 300;
    if (height > 0 && height < 96 && (light || weight == 400)) {
        FontEntry& e = entries[(light ? 0 : 96) + height];
        if (!e.made) {
            e.font = SkinFont(height, weight);
            e.ascent = QFontMetricsF(e.font).ascent();
            e.made = true;
        }
        return e;
    }
    other.font = SkinFont(height, weight);
    other.ascent = QFontMetricsF(other.font).ascent();
    return other;
}

}  // namespace

QFont SkinFont(int height, int weight)
{
    QFont font = ProgramFont({QStringLiteral("Arial")});
    // A positive height names the cell (ascent + descent); Arial's em is
    // 2048/2288 of its cell.
    const int pixels = static_cast<int>(std::lround(std::abs(height) * (height > 0 ? 2048.0 / 2288.0 : 1.0)));
    font.setPixelSize(std::max(1, pixels));
    font.setWeight(static_cast<QFont::Weight>(weight));
    return font;
}

void DrawSkinText(QPainter& painter, const QString& text, int x, int y, int height, const QColor& colour, int weight)
{
    const FontEntry& entry = CachedFont(height, weight);
    painter.setFont(entry.font);
    painter.setPen(colour);
    painter.drawText(QPointF(x, y + entry.ascent), text);
}

namespace {

QFont NarrowSkinFont(int height, int weight)
{
    QFont font = SkinFont(height, weight);
    font.setFamilies(ProgramFontFamilies({QStringLiteral("Arial Narrow"), QStringLiteral("Liberation Sans Narrow")}));
    return font;
}

}  // namespace

QFont FittedSkinFont(const QString& text, int height, int width, int weight)
{
    QFont font = SkinFont(height, weight);
    if (QFontMetricsF(font).horizontalAdvance(text) <= width) return font;
    for (int h = height; h >= std::max(1, height - 3); --h) {
        font = NarrowSkinFont(h, weight);
        if (QFontMetricsF(font).horizontalAdvance(text) <= width) return font;
    }
    return font;
}

void DrawFittedSkinText(QPainter& painter, const QString& text, int x, int y, int height, int width,
                        const QColor& colour, int weight)
{
    const FontEntry& natural = CachedFont(height, weight);
    const QFontMetricsF naturalMetrics(natural.font);
    if (naturalMetrics.horizontalAdvance(text) <= width) {
        DrawSkinText(painter, text, x, y, height, colour, weight);
        return;
    }
    const QFont font = FittedSkinFont(text, height, width, weight);
    const QFontMetricsF metrics(font);
    // A smaller font sits on the line the full-size one would use.
    const double baseline = y + naturalMetrics.ascent() - (naturalMetrics.height() - metrics.height()) / 2;
    const double advance = metrics.horizontalAdvance(text);
    painter.save();
    painter.setFont(font);
    painter.setPen(colour);
    painter.translate(x, baseline);
    if (advance > width) painter.scale(width / advance, 1.0);
    painter.drawText(QPointF(0, 0), text);
    painter.restore();
}

QImage LoadBitmapResource(int id, qreal devicePixelRatio)
{
    EnsureResources();
    return SkinImageCache::Shared().Get(QStringLiteral(":/zr417/bitmap/%1.png").arg(id), devicePixelRatio);
}

QIcon LoadIconResource(int id)
{
    EnsureResources();
    return QIcon(QStringLiteral(":/zr417/icon/%1.png").arg(id));
}

}  // namespace zr417
