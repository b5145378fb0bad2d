#include "app/ui_call.h"

#include <sys/eventfd.h>
#include <unistd.h>
#include <QSocketNotifier>
#include <QThread>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>

namespace zr417 {

struct UiThreadCall::State {
    struct Job {
        std::function<void()> work;
        enum { Waiting, Ran, Dropped } outcome = Waiting;
    };

    ~State()
    {
        if (wakeFd >= 0) ::close(wakeFd);
    }

    // With `mutex` held: queues `job` and wakes the context's thread; false
    // (nothing queued) once cancelled or when the wake cannot be sent.
    bool push(const std::shared_ptr<Job>& job)
    {
        if (cancelled || wakeFd < 0) return false;
        queue.push_back(job);
        std::uint64_t one = 1;
        if (::write(wakeFd, &one, sizeof one) != sizeof one) {
            queue.pop_back();
            return false;
        }
        return true;
    }

    std::mutex mutex;
    std::condition_variable cv;
    bool cancelled = false;
    std::deque<std::shared_ptr<Job>> queue;
    int wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
};

UiThreadCall::UiThreadCall(QObject* context) : context_(context), state_(std::make_shared<State>())
{
    if (state_->wakeFd < 0) return;  // run() then refuses calls from other threads
    notifier_ = std::make_unique<QSocketNotifier>(state_->wakeFd, QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, context_, [this] { runQueued(); });
}

UiThreadCall::~UiThreadCall()
{
    cancel();
    notifier_.reset();
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
    auto state = state_;  // outlives this object while the caller waits
    auto job = std::make_shared<State::Job>();
    job->work = std::move(work);
    std::unique_lock lock(state->mutex);
    if (!state->push(job)) return false;
    state->cv.wait(lock, [&] { return job->outcome != State::Job::Waiting || state->cancelled; });
    return job->outcome == State::Job::Ran;
}

bool UiThreadCall::queue(const std::shared_ptr<State>& state, std::function<void()> work)
{
    auto job = std::make_shared<State::Job>();
    job->work = std::move(work);
    std::lock_guard lock(state->mutex);
    return state->push(job);
}

void UiThreadCall::post(std::function<void()> work)
{
    queue(state_, std::move(work));
}

std::function<void(std::function<void()>)> UiThreadCall::poster() const
{
    return [state = state_](std::function<void()> work) { queue(state, std::move(work)); };
}

void UiThreadCall::runQueued()
{
    std::uint64_t count = 0;
    [[maybe_unused]] auto n = ::read(state_->wakeFd, &count, sizeof count);
    auto state = state_;
    for (;;) {
        std::shared_ptr<State::Job> job;
        {
            std::lock_guard lock(state->mutex);
            if (state->queue.empty() || state->cancelled) return;
            job = state->queue.front();
            state->queue.pop_front();
        }
        job->work();
        {
            std::lock_guard lock(state->mutex);
            job->outcome = State::Job::Ran;
        }
        state->cv.notify_all();
    }
}

void UiThreadCall::cancel()
{
    {
        std::lock_guard lock(state_->mutex);
        state_->cancelled = true;
        for (auto& job : state_->queue) job->outcome = State::Job::Dropped;
        state_->queue.clear();
    }
    state_->cv.notify_all();
}

}  // namespace zr417
