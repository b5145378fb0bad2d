#include "app/ui_call.h"

#include <QMetaObject>
#include <QThread>
#include <condition_variable>
#include <mutex>

namespace zr417 {

struct UiThreadCall::State {
    std::mutex mutex;
    std::condition_variable cv;
    bool cancelled = false;
};

UiThreadCall::UiThreadCall(QObject* context) : context_(context), state_(std::make_shared<State>()) {}

UiThreadCall::~UiThreadCall()
{
    cancel();
}

bool UiThreadCall::run(std::function<void()> work)
{
    if (QThread::currentThread() == context_->thread()) {
        {
            std::lock_guard lock(state_->mutex);
            if (state_->cancelled) return false;
        }
        work();
        return true;
    }
    auto state = state_;
    auto done = std::make_shared<int>(0);  // 0 waiting, 1 ran, 2 dropped
    bool queued = QMetaObject::invokeMethod(
        context_,
        [state, done, work = std::move(work)] {
            bool cancelled;
            {
                std::lock_guard lock(state->mutex);
                cancelled = state->cancelled;
            }
            if (!cancelled) work();
            std::lock_guard lock(state->mutex);
            *done = cancelled ? 2 : 1;
            state->cv.notify_all();
        },
        Qt::QueuedConnection);
    if (!queued) return false;
    std::unique_lock lock(state->mutex);
    state->cv.wait(lock, [&] { return *done != 0 || state->cancelled; });
    return *done == 1;
}

void UiThreadCall::cancel()
{
    std::lock_guard lock(state_->mutex);
    state_->cancelled = true;
    state_->cv.notify_all();
}

}  // namespace zr417
