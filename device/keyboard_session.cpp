#include "device/keyboard_session.h"

#include <algorithm>
#include <utility>

namespace zr417 {
namespace {

using settings::LedGroupSize;

constexpr ImageRegion kStatus{settings::StatusCopy, 5};
constexpr ImageRegion kGameMode{settings::GameMode, 1};
constexpr ImageRegion kWinLock{settings::WinLock, 1};
constexpr ImageRegion kGroup0{settings::LedGroup0, LedGroupSize};
constexpr ImageRegion kBothGroups{settings::LedGroup0, 2 * LedGroupSize};
constexpr ImageRegion kMatrix{settings::KeyMatrix, settings::KeyMatrixSize};
constexpr ImageRegion kMacroPages{settings::MacroPages, settings::PageSize* settings::MacroPageCount};
constexpr ImageRegion kPicturePages{settings::PicturePages, settings::PageSize* settings::PicturePageCount};

constexpr std::array<ImageRegion, 6> kArrivalRegions{kStatus, kGameMode, kWinLock, kBothGroups, kMatrix, kMacroPages};
constexpr std::array<ImageRegion, 7> kResetRegions{kStatus, kGameMode,   kWinLock,     kGroup0,
                                                   kMatrix, kMacroPages, kPicturePages};

// A handle that counts the reports sent through it.
class CountingDevice : public hid::Device {
public:
    CountingDevice(std::shared_ptr<hid::Device> device, std::atomic<int>& sets, std::atomic<int>& gets,
                   std::atomic<int>& all)
        : device_(std::move(device)), sets_(sets), gets_(gets), all_(all)
    {
    }
    bool setFeature(const std::uint8_t* data, std::size_t length) override
    {
        ++sets_;
        ++all_;
        return device_->setFeature(data, length);
    }
    bool getFeature(std::uint8_t* data, std::size_t length) override
    {
        ++gets_;
        ++all_;
        return device_->getFeature(data, length);
    }
    hid::ReadStatus readInput(std::uint8_t* data, std::size_t length, std::chrono::milliseconds timeout,
                              std::size_t* received) override
    {
        return device_->readInput(data, length, timeout, received);
    }
    void interruptRead() override { device_->interruptRead(); }
    bool connected() const override { return device_->connected(); }

private:
    std::shared_ptr<hid::Device> device_;
    std::atomic<int>&sets_, &gets_, &all_;
};

int plannedReports(Sequence sequence)
{
    switch (sequence) {
        case Sequence::StartupReadout:
            return kStartupReadoutReports;
        case Sequence::ArrivalReadout:
            return kArrivalReadoutReports;
        case Sequence::DownloadAll:
            return kDownloadAllReports;
        case Sequence::FactoryReset:
            return kFactoryResetReports;
        case Sequence::ReadEverything:
            return kReadEverythingReports;
        case Sequence::WriteStatusFlags:
            return 1;
        case Sequence::Hold:
            return 0;  // known once the differences are
    }
    return 0;
}

}  // namespace

std::span<const ImageRegion> RegionsOf(Sequence sequence)
{
    switch (sequence) {
        case Sequence::StartupReadout:
        case Sequence::ReadEverything:
            return g_startupReadoutRegions;
        case Sequence::ArrivalReadout:
            return kArrivalRegions;
        case Sequence::FactoryReset:
            return kResetRegions;
        case Sequence::DownloadAll:
        case Sequence::Hold:
            return g_downloadRegions;
        case Sequence::WriteStatusFlags:
            return {};
    }
    return {};
}

void KeyboardSession::Result::MergeInto(ConfigImage& target) const
{
    for (const ImageRegion& r : RegionsOf(sequence))
        std::copy_n(image.settings.begin() + r.offset, r.size, target.settings.begin() + r.offset);
}

KeyboardSession::KeyboardSession(PauseFn pause) : pause_(pause ? std::move(pause) : PauseFn(RealPause))
{
    thread_ = std::thread([this] { loop(); });
}

KeyboardSession::~KeyboardSession()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void KeyboardSession::SetHandles(const DeviceHandles& handles)
{
    std::lock_guard lock(mutex_);
    handles_ = handles;
}

void KeyboardSession::Run(Sequence sequence, const ConfigImage& image, Done done)
{
    // Filled in place: the image never passes through a stack.
    auto job = std::make_unique<Job>();
    job->sequence = sequence;
    job->image = image;
    job->done = std::move(done);
    {
        std::lock_guard lock(mutex_);
        job->handles = handles_;
        queue_.push_back(std::move(job));
    }
    wake_.notify_all();
}

bool KeyboardSession::busy() const
{
    std::lock_guard lock(mutex_);
    return running_ || !queue_.empty();
}

void KeyboardSession::WaitUntilIdle() const
{
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return !running_ && queue_.empty(); });
}

KeyboardSession::Progress KeyboardSession::progress() const
{
    return {reportsDone_.load(), reportsPlanned_.load()};
}

void KeyboardSession::loop()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (queue_.empty()) return;  // stopping, with nothing left to do
        std::unique_ptr<Job> job = std::move(queue_.front());
        queue_.pop_front();
        running_ = true;
        lock.unlock();

        auto result = std::make_unique<Result>();
        converse(*job, *result);
        reportsPlanned_ = 0;
        reportsDone_ = 0;
        // Busy until the caller heard back, so that a caller who waits for
        // the session finds the result delivered.
        if (job->done) job->done(std::move(*result));
        job.reset();

        lock.lock();
        running_ = false;
        if (queue_.empty()) idle_.notify_all();
    }
}

void KeyboardSession::converse(Job& job, Result& result)
{
    // Another keyboard (or none) holds something else.
    if (knownFor_.lock() != job.handles.command || !job.handles.command) {
        known_ = {};
        knownFor_ = job.handles.command;
    }
    std::atomic<int> sets{0}, gets{0};
    auto count = [&](const std::shared_ptr<hid::Device>& d) -> std::shared_ptr<hid::Device> {
        if (!d) return nullptr;
        return std::make_shared<CountingDevice>(d, sets, gets, reportsDone_);
    };
    DeviceHandles counted{count(job.handles.command), count(job.handles.data), count(job.handles.matrix),
                          job.handles.model};

    result.sequence = job.sequence;
    result.keyboardAttached = job.handles.command != nullptr;
    result.image = std::move(job.image);
    KeyboardProtocol protocol(counted, result.image, pause_);
    protocol.TrackContents(&known_);
    protocol.ResumeStatus(status_);
    reportsDone_ = 0;
    reportsPlanned_ = plannedReports(job.sequence);
    switch (job.sequence) {
        case Sequence::StartupReadout:
            protocol.StartupReadout();
            break;
        case Sequence::ArrivalReadout:
            protocol.ArrivalReadout();
            break;
        case Sequence::DownloadAll:
            protocol.DownloadAll();
            break;
        case Sequence::FactoryReset:
            protocol.FactoryReset();
            break;
        case Sequence::ReadEverything:
            protocol.ReadEverything();
            break;
        case Sequence::Hold:
            reportsPlanned_ = PlannedReports(SectionsToSend(known_, ContentsToSend(result.image, counted.model)));
            result.sent = protocol.Hold();
            break;
        case Sequence::WriteStatusFlags:
            protocol.WriteStatusFlags();
            break;
    }
    status_ = protocol.status();
    result.statusReply = status_.reply;
    result.fwMajor = status_.major;
    result.fwMinor = status_.minor;
    result.failures = protocol.failures();
    result.sets = sets;
    result.gets = gets;
}

}  // namespace zr417
