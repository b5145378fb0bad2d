#include "app/splash.h"

#include "config/keys.h"
#include "controls/skin.h"
#include "controls/skin_names.h"
#include "platform/trace.h"

#include <QPainter>
#include <QTimerEvent>

namespace zr417 {

CSplashScreen::CSplashScreen(const std::filesystem::path& exeDir, int language, std::chrono::milliseconds tick,
                             QWidget* parent)
    : QDialog(parent, Qt::SplashScreen | Qt::FramelessWindowHint)
{
    picturePath_ = exeDir / "png" / (language == kLanguageChinese ? "chinese" : "english") /
                   std::string(skins::main_window::kSplashScreen);
    // A missing picture gives a zero-sized window that still closes on time.
    const QString path = QString::fromStdString(picturePath_.string());
    picture_ = OpaqueSkinImage(QImage(path));
    twin_ = OpaqueSkinImage(QImage(HighResolutionName(path)));
    if (!picture_.isNull() && twin_.size() == picture_.size() * 2)
        twin_.setDevicePixelRatio(2);
    else
        twin_ = QImage();
    setFixedSize(picture_.size());
    setAttribute(Qt::WA_OpaquePaintEvent);
    timerId_ = startTimer(static_cast<int>(tick.count()));
}

CSplashScreen::~CSplashScreen()
{
    if (timerId_) killTimer(timerId_);
}

void CSplashScreen::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    DrawSkinImage(p, devicePixelRatioF() > 1 && !twin_.isNull() ? twin_ : picture_, 0, 0);
    if (!std::exchange(shownTraced_, true)) Trace("Splash screen shown\n");
}

void CSplashScreen::timerEvent(QTimerEvent* event)
{
    if (event->timerId() != timerId_) return;
    if (ticks_ > kLastTick) {
        killTimer(timerId_);
        timerId_ = 0;
        accept();
    }
    ++ticks_;
}

}  // namespace zr417
