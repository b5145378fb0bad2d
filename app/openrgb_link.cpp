#include "app/openrgb_link.h"

#include "app/kalvex_dlg.h"
#include "app/profile_commands.h"
#include "config/keys.h"
#include "platform/settings.h"
#include "platform/trace.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QSignalBlocker>
#include <QStringList>

#include <errno.h>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <variant>

namespace zr417 {

namespace {

// zr417ctl's exit code when the server cannot listen on the port asked for.
constexpr int kCannotListen = 8;

enum TextId { kItem, kPortTaken };
constexpr Bilingual kTexts[] = {
    {"OpenRGB SDK server", "OpenRGB SDK 服务"},
    {"Port %1 is in use, perhaps by OpenRGB's own SDK server.\nChoose another one with\n  zr417ctl openrgb on "
     "--port %2\nand add it in OpenRGB under Settings > SDK Client (IP localhost, that port).",
     "端口 %1 已被占用，可能是 OpenRGB 自己的 SDK 服务。\n请用以下命令选择其他端口：\n  zr417ctl openrgb on --port "
     "%2\n然后在 OpenRGB 的 Settings > SDK Client 中添加（IP localhost，该端口）。"},
};

QString Qs(std::string_view s)
{
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// "/DEV/HIDRAW3#VID_..." as the device link keeps it: the node, or nothing
// for a keyboard that is not a hidraw device.
std::string HidrawNode(const std::string& devicePath)
{
    std::string node = devicePath.substr(0, devicePath.find('#'));
    for (char& c : node) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return node.rfind("/dev/hidraw", 0) == 0 ? node : std::string();
}

// The USB serial number the kernel read from the keyboard (HID_UNIQ).
std::string SerialOfNode(const std::string& node)
{
    std::ifstream in("/sys/class/hidraw/" + node.substr(node.rfind('/') + 1) + "/device/uevent");
    for (std::string line; std::getline(in, line);)
        if (line.rfind("HID_UNIQ=", 0) == 0) return line.substr(9);
    return {};
}

std::string ConnectHint(int port)
{
    return "In OpenRGB: Settings > SDK Client, IP localhost, port " + std::to_string(port) + ", Connect.\n";
}

}  // namespace

OpenRgbLink::OpenRgbLink(CKalvexDlg& dlg, QObject* parent) : QObject(parent), dlg_(dlg), server_(*this)
{
    connect(&dlg_, &CKalvexDlg::keyboardChanged, this, [this] { server_.keyboardListChanged(); });
    connect(&server_, &openrgb::SdkServer::clientRefused, this, [](const QString& why) {
        std::fprintf(stderr, "%s: OpenRGB SDK server %s\n", program_invocation_short_name, qPrintable(why));
    });
}

OpenRgbLink::~OpenRgbLink() = default;

QString OpenRgbLink::text(int textId) const
{
    return Qs(kTexts[textId].in(dlg_.language()));
}

void OpenRgbLink::addTrayItem(QMenu& menu)
{
    trayItem_ = menu.addAction(text(kItem));
    trayItem_->setCheckable(true);
    syncTrayItem();
    connect(trayItem_, &QAction::toggled, this, [this](bool checked) {
        if (!checked) {
            switchOff();
            return;
        }
        QString message;
        if (!switchOn(ReadOpenRgbSetting(openrgb::kDefaultPort).port, &message) && dlg_.trayIcon())
            dlg_.trayIcon()->showMessage(text(kItem), message, QSystemTrayIcon::Warning, 15000);
    });
}

void OpenRgbLink::syncTrayItem()
{
    if (!trayItem_) return;
    QSignalBlocker quiet(trayItem_);
    trayItem_->setChecked(on());
}

void OpenRgbLink::startFromSettings()
{
    const auto setting = ReadOpenRgbSetting(openrgb::kDefaultPort);
    if (!setting.enabled) return;
    QString error;
    if (!server_.start(static_cast<quint16>(setting.port), &error))
        std::fprintf(stderr, "%s: the OpenRGB SDK server stays off: %s\n", program_invocation_short_name,
                     qPrintable(error));
    syncTrayItem();
}

bool OpenRgbLink::switchOn(int port, QString* message)
{
    QString error;
    const bool started = port >= 1 && port <= 65535 && server_.start(static_cast<quint16>(port), &error);
    if (started) {
        WriteOpenRgbSetting({true, port});
        Tracef("OpenRGB SDK server on port %d\n", port);
    } else if (message) {
        *message = error.contains(QStringLiteral("in use"))
                       ? text(kPortTaken).arg(port).arg(port < 65535 ? port + 1 : port - 1)
                       : error;
    }
    syncTrayItem();
    return started;
}

void OpenRgbLink::switchOff()
{
    server_.stop();
    WriteOpenRgbSetting({false, ReadOpenRgbSetting(openrgb::kDefaultPort).port});
    syncTrayItem();
}

bool OpenRgbLink::IsRequest(const QString& request)
{
    return request == QStringLiteral("openrgb") || request.startsWith(QStringLiteral("openrgb "));
}

void OpenRgbLink::handle(const QString& request, const SingleInstance::Reply& reply)
{
    const QStringList words = request.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const QString what = words.value(1);
    auto answer = [&](int code, const std::string& text) { reply(code, QString::fromStdString(text)); };
    if (what == QStringLiteral("status") && words.size() == 2) {
        if (on())
            answer(profile_exit::kOk, "OpenRGB SDK server on, port " + std::to_string(port()) + ", " +
                                          std::to_string(server_.clientCount()) + " client(s) connected, " +
                                          (server_.service().idle() ? "every change sent" : "changes being sent") +
                                          "\n" + ConnectHint(port()));
        else
            answer(profile_exit::kOk, "OpenRGB SDK server off (port " +
                                          std::to_string(ReadOpenRgbSetting(openrgb::kDefaultPort).port) +
                                          " when switched on)\n");
        return;
    }
    if (what == QStringLiteral("off") && words.size() == 2) {
        switchOff();
        answer(profile_exit::kOk, "OpenRGB SDK server off\n");
        return;
    }
    if (what == QStringLiteral("on") && words.size() <= 3) {
        bool ok = true;
        const int wanted = words.size() == 3 ? words[2].toInt(&ok) : ReadOpenRgbSetting(openrgb::kDefaultPort).port;
        if (!ok || wanted < 1 || wanted > 65535) {
            answer(profile_exit::kUsage, "a port is a number from 1 to 65535\n");
            return;
        }
        QString message;
        if (!switchOn(wanted, &message)) {
            answer(kCannotListen, message.toStdString() + "\n");
            return;
        }
        answer(profile_exit::kOk, "OpenRGB SDK server on, port " + std::to_string(wanted) +
                                      " of 127.0.0.1 and ::1 (this user's programs only)\n" + ConnectHint(wanted));
        return;
    }
    answer(profile_exit::kUsage, "usage: zr417ctl openrgb on [--port N] | off | status\n");
}

// --- the keyboard as the window holds it --------------------------------------

bool OpenRgbLink::present() const
{
    // Known once the read-out that follows start-up or plugging has landed.
    return dlg_.initialised() && dlg_.link().connected() && dlg_.refreshCount() > 0;
}

openrgb::KeyboardFacts OpenRgbLink::facts() const
{
    openrgb::KeyboardFacts f;
    f.model = dlg_.model();
    f.firmwareMajor = dlg_.keyboardVersion().major;
    f.firmwareMinor = dlg_.keyboardVersion().minor;
    const std::string node = HidrawNode(dlg_.link().g_szDevicePath());
    f.location = node.empty() ? "simulated keyboard" : "HID: " + node;
    if (!node.empty()) f.serial = SerialOfNode(node);
    return f;
}

const ConfigImage& OpenRgbLink::image() const
{
    return dlg_.store().current();
}

bool OpenRgbLink::canChange() const
{
    // A dialog of the window works on the image itself, and a conversation
    // with the keyboard is about to change it: nothing may change under them.
    return present() && !QApplication::activeModalWidget() && !dlg_.keyboardBusy();
}

void OpenRgbLink::applyLighting(const ConfigImage& lighting, std::function<void()> done)
{
    Tracef("Lighting from an OpenRGB client\n");
    // The window shows it at once; only the sections that differ go out,
    // and the window's unsaved edits stay its own.
    dlg_.ApplyLighting([&lighting](ConfigImage& image) { openrgb::CopyLighting(lighting, image); },
                       Finished(std::move(done)));
}

CKalvexDlg::ApplyDone OpenRgbLink::Finished(std::function<void()> done)
{
    return [this, done = std::move(done)](const KeyboardSession::Result& r,
                                          const std::optional<std::filesystem::path>& unsaved) {
        if (r.failures > 0) Tracef("The keyboard did not confirm %d step(s) of an OpenRGB change\n", r.failures);
        if (unsaved) dlg_.NoteSaveFailure(*unsaved);
        done();
    };
}

std::vector<std::string> OpenRgbLink::profiles()
{
    return ListProfiles(dlg_.paths().profileDir());
}

void OpenRgbLink::saveProfile(const std::string& name, const ConfigImage& image)
{
    auto outcome = SaveProfile(dlg_.paths().profileDir(), name, image);
    Tracef("OpenRGB client: %s", outcome.text.c_str());
}

void OpenRgbLink::loadProfile(const std::string& name, std::function<void()> done)
{
    auto read = ReadProfileToApply(dlg_.paths().profileDir(), name);
    if (auto* refused = std::get_if<ProfileOutcome>(&read)) {
        Tracef("OpenRGB client: %s", refused->text.c_str());
        done();
        return;
    }
    Tracef("Profile \"%s\" applied by an OpenRGB client\n", name.c_str());
    dlg_.ApplyProfile(std::get<ConfigImage>(read), Finished(std::move(done)));
}

void OpenRgbLink::deleteProfile(const std::string& name)
{
    auto outcome = DeleteProfile(dlg_.paths().profileDir(), name);
    Tracef("OpenRGB client: %s", outcome.text.c_str());
}

}  // namespace zr417
