#include "device/keyboard_session.h"

#include <algorithm>
#include <utility>

namespace zr417 {

KeyboardSession::KeyboardSession(DeviceLink& link, ConfigImage& image, PauseFn pause)
    : link_(link), image_(image), pause_(pause ? std::move(pause) : PauseFn(RealPause))
{
}

KeyboardSession::~KeyboardSession()
{
    if (worker_.joinable()) worker_.join();
}

bool KeyboardSession::busy() const
{
    std::lock_guard lock(mutex_);
    return busy_;
}

void KeyboardSession::WaitUntilIdle() const
{
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return !busy_; });
}

void KeyboardSession::beginConversation() const
{
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return !busy_; });
    busy_ = true;
}

void KeyboardSession::endConversation() const
{
    {
        std::lock_guard lock(mutex_);
        busy_ = false;
    }
    idle_.notify_all();
}

template <typename Sequence>
void KeyboardSession::converse(Sequence sequence)
{
    beginConversation();
    // What the start-up read-out brought lands before anything is sent, so
    // a download never sends the image as it was before the read-out, and
    // the read-out never lands over what a later sequence did.
    bringInStartupReadout();
    KeyboardProtocol protocol(link_.handles(), image_, pause_);
    protocol.g_abStatusReply = status_.reply;
    protocol.g_nFwMajor = status_.major;
    protocol.g_nFwMinor = status_.minor;
    sequence(protocol);
    status_ = {protocol.g_abStatusReply, protocol.g_nFwMajor, protocol.g_nFwMinor};
    failures_ = protocol.failures();
    endConversation();
}

void KeyboardSession::DownloadAll()
{
    converse([](KeyboardProtocol& p) { p.DownloadAll(); });
}

void KeyboardSession::ArrivalReadout()
{
    converse([](KeyboardProtocol& p) { p.ArrivalReadout(); });
}

void KeyboardSession::FactoryReset()
{
    converse([](KeyboardProtocol& p) { p.FactoryReset(); });
}

bool KeyboardSession::StartStartupReadout(std::function<void()> finished)
{
    if (workerStarted_) return false;
    workerStarted_ = true;
    // Busy from now on, so whatever the owner asks next waits for the
    // read-out, however late the worker thread gets going.
    beginConversation();
    workerImage_ = std::make_unique<ConfigImage>(image_);
    worker_ =
        std::thread([this, handles = link_.handles(), image = workerImage_.get(), finished = std::move(finished)] {
            KeyboardProtocol protocol(handles, *image, pause_);
            protocol.StartupReadout();
            {
                std::lock_guard lock(mutex_);
                workerStatus_ = {protocol.g_abStatusReply, protocol.g_nFwMajor, protocol.g_nFwMinor};
                readoutEnded_ = true;
            }
            endConversation();
            if (finished) finished();
        });
    return true;
}

void KeyboardSession::bringInStartupReadout()
{
    if (readoutMerged_ || !workerImage_) return;
    {
        std::lock_guard lock(mutex_);
        if (!readoutEnded_) return;
        status_ = workerStatus_;
    }
    for (const ImageRegion& r : g_startupReadoutRegions)
        std::copy_n(workerImage_->settings.begin() + r.offset, r.size, image_.settings.begin() + r.offset);
    workerImage_.reset();
    readoutMerged_ = true;
}

bool KeyboardSession::TakeStartupReadout()
{
    if (readoutTaken_) return false;
    bringInStartupReadout();
    if (!readoutMerged_) return false;
    readoutTaken_ = true;
    return true;
}

}  // namespace zr417
