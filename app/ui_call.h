// Runs work of a worker or listener thread on the window's thread and waits
// for it, as SendMessage did: the caller blocks until the window has handled
// the call. Unlike a plain blocking queued call it can be cancelled, so a
// window that is being destroyed (and joins those threads) never deadlocks
// with a thread waiting for it.
//
// The work is handed over through a queue of our own, under a standard
// mutex, and the window's thread is woken through an eventfd: every step of
// the hand-over is visible to ThreadSanitizer (Qt's own event queue locks
// with futexes that an uninstrumented Qt hides from it).
#pragma once

#include <QObject>
#include <functional>
#include <memory>

class QSocketNotifier;

namespace zr417 {

class UiThreadCall {
public:
    // Made on the context's thread, which runs the work.
    explicit UiThreadCall(QObject* context);
    ~UiThreadCall();  // cancels

    // On the context's thread: runs `work` at once. Elsewhere: queues it to
    // the context's thread and waits until it ran, or until cancel(). Returns
    // whether it ran. After cancel() nothing runs any more.
    bool run(std::function<void()> work);
    // From any thread, the context's too: queues `work` to run on the
    // context's thread later and returns at once. Dropped after cancel().
    void post(std::function<void()> work);
    // post() as a function object that stays safe to call after this object
    // is gone (it then drops the work): for callbacks of other threads.
    std::function<void(std::function<void()>)> poster() const;
    void cancel();

private:
    struct State;
    static bool queue(const std::shared_ptr<State>& state, std::function<void()> work);
    void runQueued();

    QObject* context_;
    std::shared_ptr<State> state_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace zr417
