// Trace sink for the debug-output lines of the protocol and the dialogs.
// Silent by default; ZR417_TRACE=1 prints every line to stderr; tests install
// a capture to read the lines (several protocol steps leave nothing else).
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace zr417 {

void Trace(std::string_view line);
void Tracef(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Installs a callback that receives every traced line; returns the previous
// one. Passing nullptr removes it.
using TraceSink = std::function<void(std::string_view)>;
TraceSink SetTraceSink(TraceSink sink);

// Collects traced lines for the life of the object (tests).
class TraceCapture {
public:
    TraceCapture();
    ~TraceCapture();
    TraceCapture(const TraceCapture&) = delete;
    TraceCapture& operator=(const TraceCapture&) = delete;

    std::string text() const;
    int count(std::string_view line) const;  // occurrences of an exact line
    void clear();

private:
    TraceSink previous_;
    struct State;
    State* state_;
};

}  // namespace zr417
