#include "platform/text.h"

#include <gtest/gtest.h>

using namespace zr417;

TEST(Text, RoundTripsEveryPlaneThroughUtf16)
{
    const std::string text = "Macro_001 宏 \xF0\x9F\x8E\xAE /home/u/Music/a.mp3";
    std::u16string wide = Utf8ToUtf16(text);
    EXPECT_EQ(wide.size(), text.size() - 2 - 2);  // a 3-byte char is one unit, a 4-byte one a pair
    EXPECT_EQ(Utf16ToUtf8(wide), text);
}

TEST(Text, InvalidInputBecomesReplacementCharacters)
{
    // A stray continuation byte, a cut sequence, an overlong form and a
    // surrogate encoded in UTF-8 each give one U+FFFD and reading goes on.
    EXPECT_EQ(Utf8ToUtf16("a\x80"
                          "b"),
              u"a\uFFFDb");
    EXPECT_EQ(Utf8ToUtf16("a\xE5\xAE"), u"a\uFFFD");
    EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"
                          "x"),
              u"\uFFFDx");
    EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"
                          "y"),
              u"\uFFFDy");
    // Unpaired surrogates in UTF-16.
    const char16_t lone[] = {u'a', 0xD800, u'b', 0xDC00, 0};
    EXPECT_EQ(Utf16ToUtf8(lone),
              "a\xEF\xBF\xBD"
              "b\xEF\xBF\xBD");
}

TEST(Text, DecodeLeavesTheIndexOnFailure)
{
    std::size_t i = 1;
    EXPECT_EQ(DecodeUtf8("a\xE5\xAE\x8F", i), 0x5B8F);
    EXPECT_EQ(i, 4u);
    i = 0;
    EXPECT_EQ(DecodeUtf8("\xE5\xAE", i), -1);
    EXPECT_EQ(i, 0u);
    EXPECT_EQ(DecodeUtf8("", i), -1);
}
