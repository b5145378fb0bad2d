#include "platform/trace.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace zr417 {
namespace {

TEST(Trace, CaptureSeesExactLinesAndCountsThem)
{
    TraceCapture capture;
    Trace("Data OK\n");
    Trace("Data not OK(KeyMatrix)\n");
    Trace("Data OK\n");
    Tracef("Data OK(%s)\n", "SetUserPicture");
    Tracef("page %d of %d\n", 3, 12);

    EXPECT_EQ(capture.count("Data OK\n"), 2);
    EXPECT_EQ(capture.count("Data OK"), 0);  // exact lines only, newline included
    EXPECT_EQ(capture.count("Data not OK(KeyMatrix)\n"), 1);
    EXPECT_EQ(capture.count("Data OK(SetUserPicture)\n"), 1);
    EXPECT_EQ(capture.count("page 3 of 12\n"), 1);
    EXPECT_EQ(capture.text(), "Data OK\nData not OK(KeyMatrix)\nData OK\nData OK(SetUserPicture)\npage 3 of 12\n");

    capture.clear();
    EXPECT_EQ(capture.text(), "");
    EXPECT_EQ(capture.count("Data OK\n"), 0);
    Trace("after\n");
    EXPECT_EQ(capture.text(), "after\n");
}

TEST(Trace, LinesWithoutCaptureGoNowhere)
{
    Trace("nobody listens\n");  // must not crash without a sink
    TraceCapture capture;
    EXPECT_EQ(capture.text(), "");
}

TEST(Trace, NestedCapturesRestoreTheOuterSink)
{
    TraceCapture outer;
    Trace("one\n");
    {
        TraceCapture inner;
        Trace("two\n");
        EXPECT_EQ(inner.text(), "two\n");
    }
    Trace("three\n");
    EXPECT_EQ(outer.text(), "one\nthree\n");
}

TEST(Trace, SinkIsRestoredWhenTheCaptureEnds)
{
    std::vector<std::string> mine;
    TraceSink previous = SetTraceSink([&mine](std::string_view line) { mine.emplace_back(line); });
    {
        TraceCapture capture;
        Trace("captured\n");
        EXPECT_EQ(capture.count("captured\n"), 1);
    }
    Trace("mine\n");
    EXPECT_EQ(mine, (std::vector<std::string>{"mine\n"}));

    // Removing the sink hands back ours; nothing is installed afterwards.
    TraceSink removed = SetTraceSink(previous);
    ASSERT_TRUE(static_cast<bool>(removed));
    TraceSink none = SetTraceSink(nullptr);
    EXPECT_FALSE(static_cast<bool>(none));
}

TEST(Trace, LinesFromSeveralThreadsAreAllCaptured)
{
    TraceCapture capture;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([] {
            for (int i = 0; i < 500; ++i) Trace("Data OK\n");
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(capture.count("Data OK\n"), 2000);
}

TEST(Trace, OverlongFormattedLineIsCutNotOverrun)
{
    TraceCapture capture;
    std::string big(5000, 'x');
    Tracef("%s\n", big.c_str());
    std::string text = capture.text();
    EXPECT_GT(text.size(), 0u);
    EXPECT_LT(text.size(), big.size());
    EXPECT_EQ(text.find_first_not_of('x'), std::string::npos);
}

}  // namespace
}  // namespace zr417
