#include "platform/trace.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <vector>

namespace zr417 {
namespace {

std::mutex g_traceMutex;
TraceSink g_sink;

bool printingEnabled()
{
    static const bool enabled = [] {
        const char* v = std::getenv("ZR417_TRACE");
        return v && *v && std::string_view(v) != "0";
    }();
    return enabled;
}

}  // namespace

void Trace(std::string_view line)
{
    TraceSink sink;
    {
        std::lock_guard lock(g_traceMutex);
        sink = g_sink;
    }
    if (sink) sink(line);
    if (printingEnabled()) {
        std::fwrite(line.data(), 1, line.size(), stderr);
        std::fflush(stderr);
    }
}

void Tracef(const char* format, ...)
{
    char buffer[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    Trace(buffer);
}

TraceSink SetTraceSink(TraceSink sink)
{
    std::lock_guard lock(g_traceMutex);
    std::swap(sink, g_sink);
    return sink;
}

struct TraceCapture::State {
    mutable std::mutex mutex;
    std::vector<std::string> lines;
};

TraceCapture::TraceCapture() : state_(new State)
{
    State* s = state_;
    previous_ = SetTraceSink([s](std::string_view line) {
        std::lock_guard lock(s->mutex);
        s->lines.emplace_back(line);
    });
}

TraceCapture::~TraceCapture()
{
    SetTraceSink(previous_);
    delete state_;
}

std::string TraceCapture::text() const
{
    std::lock_guard lock(state_->mutex);
    std::string all;
    for (const auto& l : state_->lines) all += l;
    return all;
}

int TraceCapture::count(std::string_view line) const
{
    std::lock_guard lock(state_->mutex);
    int n = 0;
    for (const auto& l : state_->lines) n += (l == line);
    return n;
}

void TraceCapture::clear()
{
    std::lock_guard lock(state_->mutex);
    state_->lines.clear();
}

}  // namespace zr417
