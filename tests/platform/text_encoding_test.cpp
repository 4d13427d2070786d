#include "platform/text_encoding.h"

#include <gtest/gtest.h>

using namespace corvane;

TEST(TextEncoding, RoundTripsTextAndArbitraryBytes) {
    for (std::string s : {std::string("plain"), std::string("语言/中文.lng"), std::string("emoji \xF0\x9F\x9A\x8C"),
                          std::string("latin1 \xE9t\xE9"), std::string("\xC0\x80 overlong"),
                          std::string("cut \xE4\xB8"), std::string("\xED\xA0\x80 surrogate")}) {
        EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(s)), s);
    }
    EXPECT_EQ(Utf8ToUtf16("\xE4\xB8\xAD"), u"\u4E2D");
    EXPECT_EQ(Utf8ToUtf16("\xF0\x9F\x9A\x8C").size(), 2u);
}
