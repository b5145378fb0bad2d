// The running program's answers to zr417ctl's profile requests (profile list,
// profile apply NAME, profile save NAME) that reach it through its
// single-instance socket. An applied profile goes the window's own way: loaded
// into the working image as the profile manager loads one, the window
// refreshed, then saved as the Save button saves, so the window, keymap.bin
// and the keyboard stay one picture.
#pragma once

#include "platform/single_instance.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <deque>
#include <utility>

namespace zr417 {

class CKalvexDlg;

class ProfileRequests : public QObject {
    Q_OBJECT
public:
    explicit ProfileRequests(CKalvexDlg& dlg, QObject* parent = nullptr);

    // SingleInstance's request handler. A request that comes while the
    // window is still starting waits for it.
    void handle(const QString& request, SingleInstance::Reply reply);

private:
    bool ready() const;
    void answerWaiting();
    void answer(const QString& request, const SingleInstance::Reply& reply);

    CKalvexDlg& dlg_;
    std::deque<std::pair<QString, SingleInstance::Reply>> waiting_;
    QTimer retry_;
    int retries_ = 0;
};

}  // namespace zr417
