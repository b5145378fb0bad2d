// Automatic profiles reach the main window through this: a switch is a
// profile applied from outside, as zr417ctl's profile apply through the
// program is.
#pragma once

#include "app/auto_profiles.h"

namespace zr417 {

class CKalvexDlg;

class MainWindowAutoHost : public AutoProfileWindow {
public:
    explicit MainWindowAutoHost(CKalvexDlg& dlg) : dlg_(dlg) {}

    Wait switchMustWait() override;
    void switchTo(const ConfigImage& image, std::function<void(const std::string& problem)> done) override;
    bool whenIdle(std::function<void()> work) override;
    std::uint64_t commitCount() const override;
    std::filesystem::path profileDir() const override;
    int language() const override;
    void setStatusText(const QString& text) override;
    void checkKeyboardAfterResume() override;

private:
    CKalvexDlg& dlg_;
};

}  // namespace zr417
