#include "app/profile_requests.h"

#include "app/kalvex_dlg.h"
#include "app/profile_commands.h"
#include "device/identities.h"
#include "platform/trace.h"

#include <QApplication>

#include <variant>

namespace zr417 {
namespace {

constexpr int kRetryMs = 100;
constexpr int kMaxRetries = 300;  // 30 s for the window to finish starting

std::string ModelName(int model)
{
    for (const auto& id : g_keyboardIdentities)
        if (id.model == model) return std::string(id.name);
    return "ZR417";
}

}  // namespace

ProfileRequests::ProfileRequests(CKalvexDlg& dlg, QObject* parent) : QObject(parent), dlg_(dlg)
{
    retry_.setInterval(kRetryMs);
    connect(&retry_, &QTimer::timeout, this, &ProfileRequests::answerWaiting);
}

// The window has finished its initialisation and its start-up read-out (the
// worker writes the image until its refresh has run).
bool ProfileRequests::ready() const
{
    return dlg_.initialised() && (!dlg_.link().g_hCommandDev() || dlg_.refreshCount() > 0);
}

void ProfileRequests::handle(const QString& request, SingleInstance::Reply reply)
{
    waiting_.emplace_back(request, std::move(reply));
    answerWaiting();
}

void ProfileRequests::answerWaiting()
{
    if (!ready() && retries_ < kMaxRetries) {
        ++retries_;
        retry_.start();
        return;
    }
    retry_.stop();
    retries_ = 0;
    while (!waiting_.empty()) {
        auto [request, reply] = std::move(waiting_.front());
        waiting_.pop_front();
        if (!ready())
            reply(profile_exit::kBusy, QStringLiteral("the program is still starting; try again in a moment\n"));
        else
            answer(request, reply);
    }
}

void ProfileRequests::answer(const QString& request, const SingleInstance::Reply& reply)
{
    auto send = [&](const ProfileOutcome& outcome) { reply(outcome.exitCode, QString::fromStdString(outcome.text)); };
    const QString apply = QStringLiteral("profile apply "), save = QStringLiteral("profile save ");
    const auto profileDir = dlg_.paths().profileDir();
    if (request == QStringLiteral("profile list")) {
        send({profile_exit::kOk, FormatProfileList(ListProfiles(profileDir))});
        return;
    }
    const bool applying = request.startsWith(apply), saving = request.startsWith(save);
    if (!applying && !saving) {
        send({profile_exit::kUsage, "the program does not know the request \"" + request.toStdString() + "\"\n"});
        return;
    }
    // While the window talks to the keyboard the image is about to change
    // (a read-out lands, a download commits): the request waits for that.
    if (dlg_.keyboardBusy()) {
        dlg_.WhenIdle([this, request, reply] { answer(request, reply); });
        return;
    }
    // A dialog of the window (a profile, macro or key dialog, a question)
    // works on the image itself: nothing may change under it.
    if (QApplication::activeModalWidget()) {
        send({profile_exit::kBusy, "the program has a dialog open; close it and try again\n"});
        return;
    }
    const std::string name = request.mid((applying ? apply : save).size()).toStdString();
    KeymapStore& store = dlg_.store();
    if (saving) {
        send(SaveProfile(profileDir, name, store.current()));
        return;
    }

    auto read = ReadProfileToApply(profileDir, name);
    if (auto* refused = std::get_if<ProfileOutcome>(&read)) {
        send(*refused);
        return;
    }
    const ConfigImage& image = std::get<ConfigImage>(read);
    if (!dlg_.link().g_hCommandDev()) {
        send({profile_exit::kNoKeyboard, "the program sees no ZR417 keyboard; nothing was changed\n"});
        return;
    }
    const int model = dlg_.model();
    Tracef("Profile \"%s\" applied from outside\n", name.c_str());
    // Only what the keyboard does not hold yet goes out; the answer comes
    // once it has.
    dlg_.ApplyProfile(image, [this, reply, name, model](const KeyboardSession::Result& r,
                                                        const std::optional<std::filesystem::path>& unsaved) {
        if (unsaved) {
            // Answered first; the window's own word does not wait for anyone.
            reply(profile_exit::kFileError, QString::fromStdString("the keyboard holds profile \"" + name + "\", but " +
                                                                   unsaved->string() + " could not be written\n"));
            dlg_.NoteSaveFailure(*unsaved);
            return;
        }
        if (r.failures > 0) {
            reply(profile_exit::kIncomplete,
                  QString::fromStdString("profile \"" + name +
                                         "\" is loaded in the program, but the keyboard did not confirm " +
                                         std::to_string(r.failures) + " step(s)\n"));
            return;
        }
        const std::string text = r.sent == 0 ? "The " + ModelName(model) + " keyboard holds profile \"" + name +
                                                   "\" already; nothing was sent. The program shows it.\n"
                                             : "Applied profile \"" + name + "\": the program and the " +
                                                   ModelName(model) + " keyboard hold it\n";
        reply(profile_exit::kOk, QString::fromStdString(text));
    });
}

}  // namespace zr417
