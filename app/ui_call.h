// Runs work of a worker or listener thread on the window's thread and waits
// for it, as SendMessage did: the caller blocks until the window has handled
// the call. Unlike a plain blocking queued call it can be cancelled, so a
// window that is being destroyed (and joins those threads) never deadlocks
// with a thread waiting for it.
#pragma once

#include <QObject>
#include <functional>
#include <memory>

namespace zr417 {

class UiThreadCall {
public:
    explicit UiThreadCall(QObject* context);
    ~UiThreadCall();  // cancels

    // On the context's thread: runs `work` at once. Elsewhere: queues it to
    // the context's thread and waits until it ran, or until cancel(). Returns
    // whether it ran. After cancel() nothing runs any more.
    bool run(std::function<void()> work);
    void cancel();

private:
    struct State;
    QObject* context_;
    std::shared_ptr<State> state_;
};

}  // namespace zr417
