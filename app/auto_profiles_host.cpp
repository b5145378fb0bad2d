#include "app/auto_profiles_host.h"

#include "app/kalvex_dlg.h"

namespace zr417 {

AutoProfileWindow::Wait MainWindowAutoHost::switchMustWait()
{
    return dlg_.switchMustWait();
}

void MainWindowAutoHost::switchTo(const ConfigImage& image, std::function<void(const std::string& problem)> done)
{
    dlg_.ApplyProfile(image, [this, done = std::move(done)](const KeyboardSession::Result& r,
                                                            const std::optional<std::filesystem::path>& unsaved) {
        if (unsaved) {
            dlg_.NoteSaveFailure(*unsaved);
            done(unsaved->string() + " could not be written");
            return;
        }
        done(r.failures ? "the keyboard did not confirm " + std::to_string(r.failures) + " step(s)" : std::string());
    });
}

bool MainWindowAutoHost::whenIdle(std::function<void()> work)
{
    if (!dlg_.keyboardBusy()) return false;
    dlg_.WhenIdle(std::move(work));
    return true;
}

std::uint64_t MainWindowAutoHost::commitCount() const
{
    return dlg_.store().commitCount();
}

std::filesystem::path MainWindowAutoHost::profileDir() const
{
    return dlg_.paths().profileDir();
}

int MainWindowAutoHost::language() const
{
    return dlg_.language();
}

void MainWindowAutoHost::setStatusText(const QString& text)
{
    dlg_.setTrayStatus(text);
}

void MainWindowAutoHost::checkKeyboardAfterResume()
{
    dlg_.CheckKeyboardAfterResume();
}

}  // namespace zr417
