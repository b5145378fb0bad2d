#include "app/auto_profiles_host.h"

#include "app/kalvex_dlg.h"
#include "app/profile_commands.h"

namespace zr417 {

AutoProfileWindow::Wait MainWindowAutoHost::switchMustWait()
{
    return dlg_.switchMustWait();
}

void MainWindowAutoHost::switchTo(const ConfigImage& image, std::function<void(const std::string& problem)> done)
{
    KeymapStore& store = dlg_.store();
    // The saved image is what was last sent; with no edits in the window it
    // stands for the keyboard, so a profile it holds already is not sent.
    const bool held = KeyboardAlreadyHolds(store.saved, image, dlg_.model());
    if (auto unsaved = dlg_.ApplyProfile(image, !held)) {
        dlg_.NoteSaveFailure(*unsaved);
        done(unsaved->string() + " could not be written");
        return;
    }
    const int failed = held ? 0 : dlg_.session().failures();
    done(failed ? "the keyboard did not confirm " + std::to_string(failed) + " step(s)" : std::string());
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
