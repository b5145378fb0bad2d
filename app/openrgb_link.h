// The main program's OpenRGB SDK server: the keyboard as the window holds it,
// offered to OpenRGB and its clients. The server's lighting goes onto what
// the keyboard holds (sent, keymap.bin written) and into the window, which
// keeps its own unsaved edits unsaved; a profile it loads is applied as the
// window applies one. One change at a time, and only when no dialog works on
// the image. Off until the user switches it on (tray menu or zr417ctl
// openrgb); the choice and the port live in the per-user settings.
#pragma once

#include "app/kalvex_dlg.h"
#include "openrgb/sdk_server.h"
#include "platform/single_instance.h"

#include <QObject>
#include <QString>

#include <memory>

class QAction;
class QMenu;

namespace zr417 {

class OpenRgbLink : public QObject, public openrgb::KeyboardModel {
    Q_OBJECT
public:
    explicit OpenRgbLink(CKalvexDlg& dlg, QObject* parent = nullptr);
    ~OpenRgbLink() override;

    // The tray menu's checkable item.
    void addTrayItem(QMenu& menu);
    // Starts the server when the settings say it was on.
    void startFromSettings();
    // Switches the server on at `port` (and keeps the choice); false with
    // what to tell the user when it cannot listen there.
    bool switchOn(int port, QString* message);
    void switchOff();
    bool on() const { return server_.listening(); }
    int port() const { return server_.port(); }
    openrgb::SdkServer& server() { return server_; }

    // zr417ctl's requests: "openrgb on PORT", "openrgb off", "openrgb status".
    static bool IsRequest(const QString& request);
    void handle(const QString& request, const SingleInstance::Reply& reply);

    // openrgb::KeyboardModel
    bool present() const override;
    openrgb::KeyboardFacts facts() const override;
    const ConfigImage& image() const override;
    bool canChange() const override;
    void applyLighting(const ConfigImage& lighting, std::function<void()> done) override;
    std::vector<std::string> profiles() override;
    void saveProfile(const std::string& name, const ConfigImage& image) override;
    void loadProfile(const std::string& name, std::function<void()> done) override;
    void deleteProfile(const std::string& name) override;

private:
    QString text(int textId) const;
    // What runs once the window's change is over: notes, then `done`.
    CKalvexDlg::ApplyDone Finished(std::function<void()> done);
    void syncTrayItem();

    CKalvexDlg& dlg_;
    openrgb::SdkServer server_;
    QAction* trayItem_ = nullptr;
};

}  // namespace zr417
