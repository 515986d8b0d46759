#include "util/utf8.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

namespace utf8 = quillbrook::utf8;

TEST(Utf8IsValid, AcceptsWellFormedTextOnly) {
    EXPECT_TRUE(utf8::isValid(""));
    EXPECT_TRUE(utf8::isValid("plain ASCII, longer than eight bytes"));
    EXPECT_TRUE(utf8::isValid("Zo\u00eb \u20ac \U0001F4F7 after the fast path"));
    for (std::string bad :
         {"caf\xE9", "0123456789\xFF", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "ab\xE2\x80"}) {
        EXPECT_FALSE(utf8::isValid(bad)) << testing::PrintToString(bad);
    }
}

TEST(Utf8Sanitized, CountsCodePointsAndNeverSplitsOne) {
    struct Case {
        std::string text;
        std::size_t count;
        std::string prefix;
    };
    const std::string eighty(80, 'a');
    const std::vector<Case> cases = {
        {"hello", 80, "hello"},
        {eighty + "bcd", 80, eighty},
        {"\u00e9t\u00e9", 2, "\u00e9t"},                       // two-byte characters count once
        {"\u20ac\u20ac\u20ac", 2, "\u20ac\u20ac"},             // three-byte
        {"\U0001F600\U0001F600x", 2, "\U0001F600\U0001F600"},  // four-byte
        {"", 80, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(utf8::sanitized(c.text, c.count), c.prefix) << c.text;
    }
}

TEST(Utf8Sanitized, ShowsEachBrokenByteAsOneReplacementCharacter) {
    const std::string replacement = "\xEF\xBF\xBD";
    struct Case {
        std::string text;
        std::string prefix;
    };
    const std::vector<Case> cases = {
        {"a\xFF"
         "b",
         "a" + replacement + "b"},
        {"\xE2\x82", replacement + replacement},                                      // a sequence cut short by the end
        {"\xC0\xAF", replacement + replacement},                                      // an overlong solidus
        {"\xED\xA0\x80", replacement + replacement + replacement},                    // a surrogate
        {"\xF4\x90\x80\x80", replacement + replacement + replacement + replacement},  // beyond U+10FFFF
    };
    for (const Case& c : cases) {
        EXPECT_EQ(utf8::sanitized(c.text, 10), c.prefix) << testing::PrintToString(c.text);
    }
    EXPECT_EQ(utf8::sanitized("\xFF\xFF\xFF", 2), replacement + replacement);
    EXPECT_EQ(utf8::sanitized("caf\xE9!"), "caf" + replacement + "!");
}

}  // namespace
