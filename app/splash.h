// The splash window: SplashScreen.png of the language, shown modally for
// about one second while the main window starts.
#pragma once

#include <QDialog>
#include <QImage>
#include <chrono>
#include <filesystem>

namespace zr417 {

class CSplashScreen : public QDialog {
    Q_OBJECT
public:
    // `exeDir`: the program's folder; `tick`: the timer period (20 ms).
    CSplashScreen(const std::filesystem::path& exeDir, int language, std::chrono::milliseconds tick,
                  QWidget* parent = nullptr);
    ~CSplashScreen() override;

    const std::filesystem::path& picturePath() const { return picturePath_; }
    int ticks() const { return ticks_; }
    // Closes after this many ticks: on the 52nd (the counter exceeds 50).
    static constexpr int kLastTick = 50;

protected:
    void paintEvent(QPaintEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    std::filesystem::path picturePath_;
    QImage picture_;
    QImage twin_;  // SplashScreen@2x.png for a high-resolution screen; may be null
    int timerId_ = 0;
    int ticks_ = 0;
    bool shownTraced_ = false;
};

}  // namespace zr417
