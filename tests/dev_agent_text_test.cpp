#include <string>

#include <gtest/gtest.h>

#include "dev_agent/html_text.h"
#include "dev_agent/text.h"

namespace quillbrook::dev_agent {
namespace {

struct TextCase {
    const char* name;
    std::string input;
    std::string expected;
};

class UnixLineEnds : public testing::TestWithParam<TextCase> {};

TEST_P(UnixLineEnds, TurnsEveryLineEndIntoLf) { EXPECT_EQ(toUnixLineEnds(GetParam().input), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(Cases, UnixLineEnds,
                         testing::Values(TextCase{"crlf", "a\r\nb\r\n", "a\nb\n"},
                                         TextCase{"lone_cr", "a\rb", "a\nb"},
                                         TextCase{"mixed", "a\r\n\nb\r", "a\n\nb\n"},
                                         TextCase{"cr_cr_lf", "a\r\r\nb", "a\n\nb"}),
                         [](const auto& info) { return info.param.name; });

TEST(Snippet, FoldsWhiteSpaceAndCutsOnCharacterBoundaries) {
    EXPECT_EQ(snippetOf("  Hello,\n\n  world\t!  ", 140), "Hello, world !");
    EXPECT_EQ(snippetOf("abcdef", 3), "abc…");
    EXPECT_EQ(snippetOf("abc", 3), "abc");
    // Four two-byte characters cut after three: never half a character.
    EXPECT_EQ(snippetOf("\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9", 3), "\xC3\xA9\xC3\xA9\xC3\xA9…");
    EXPECT_EQ(snippetOf("", 10), "");
}

TEST(QuotedText, CutsLongValuesForMessages) {
    EXPECT_EQ(quotedText("INBOX"), "\"INBOX\"");
    std::string quoted = quotedText(std::string(5000, 'x'));
    EXPECT_LT(quoted.size(), 100u);
    EXPECT_EQ(quoted.substr(quoted.size() - 4), "…\"");
}

class HtmlText : public testing::TestWithParam<TextCase> {};

TEST_P(HtmlText, RendersReadableText) { EXPECT_EQ(htmlToText(GetParam().input), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    Cases, HtmlText,
    testing::Values(
        TextCase{"paragraphs", "<p>One</p><p>Two</p>", "One\n\nTwo"},
        TextCase{"line_breaks", "a<br>b<br/>c", "a\nb\nc"},
        TextCase{"hidden_elements_dropped",
                 "<html><head><title>T</title><style>p{}</style></head><body><script>x<y</script>Hi</body>", "Hi"},
        TextCase{"white_space_folded", "  lots \n of\t\tspace  ", "lots of space"},
        TextCase{"list_items", "<ul><li>one</li><li>two</li></ul>", "- one\n- two"},
        TextCase{"entities", "a &amp; b &lt;c&gt; &#233; &#x1F4F7; &nbsp;", "a & b <c> \xC3\xA9 \xF0\x9F\x93\xB7 \xC2\xA0"},
        TextCase{"unknown_entity_kept", "&bogus; & x", "&bogus; & x"},
        TextCase{"comment_dropped", "a<!-- <p>hidden</p> -->b", "ab"},
        TextCase{"unclosed_tag_ends_text", "text <p", "text"},
        TextCase{"upper_case_tags", "<P>One</P>Two<BR>Three", "One\n\nTwo\nThree"}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace quillbrook::dev_agent
