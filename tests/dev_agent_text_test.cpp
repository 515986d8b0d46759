#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "dev_agent/base/text.h"
#include "dev_agent/mime/charset_text.h"
#include "dev_agent/mime/encoded_words.h"
#include "dev_agent/mime/header_block.h"
#include "dev_agent/mime/html_text.h"

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
                         testing::Values(TextCase{"crlf", "a\r\nb\r\n", "a\nb\n"}, TextCase{"lone_cr", "a\rb", "a\nb"},
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
    // Built by appending: GCC 12 warns falsely on a literal added to a string here.
    const std::string eighty(80, 'x');
    EXPECT_EQ(quotedText("INBOX"), "\"INBOX\"");
    EXPECT_EQ(quotedText(eighty), std::string("\"").append(eighty).append("\""));
    EXPECT_EQ(quotedText(std::string(5000, 'x')), std::string("\"").append(eighty).append("…\""));
}

class HtmlText : public testing::TestWithParam<TextCase> {};

TEST_P(HtmlText, RendersReadableText) { EXPECT_EQ(htmlToText(GetParam().input), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    Cases, HtmlText,
    testing::Values(TextCase{"paragraphs", "<p>One</p><p>Two</p>", "One\n\nTwo"},
                    TextCase{"line_breaks", "a<br>b<br/>c", "a\nb\nc"},
                    TextCase{"hidden_elements_dropped",
                             "<html><head><title>T</title><style>p{}</style></head><body><script>x<y</script>Hi</body>",
                             "Hi"},
                    TextCase{"white_space_folded", "  lots \n of\t\tspace  ", "lots of space"},
                    TextCase{"list_items", "<ul><li>one</li><li>two</li></ul>", "- one\n- two"},
                    TextCase{"entities", "a &amp; b &lt;c&gt; &#233; &#x1F4F7; &nbsp;",
                             "a & b <c> \xC3\xA9 \xF0\x9F\x93\xB7 \xC2\xA0"},
                    TextCase{"unknown_entity_kept", "&bogus; & x", "&bogus; & x"},
                    TextCase{"comment_dropped", "a<!-- <p>hidden</p> -->b", "ab"},
                    TextCase{"unclosed_tag_ends_text", "text <p", "text"},
                    TextCase{"upper_case_tags", "<P>One</P>Two<BR>Three", "One\n\nTwo\nThree"},
                    TextCase{"hidden_element_closed_in_other_case", "<SCRIPT>x</Script>Hi", "Hi"},
                    TextCase{"ampersands_without_semicolons", "a && b &#233 c &amp", "a && b &#233 c &amp"},
                    TextCase{"longest_entity_decoded", "&#00000233;|&#x010FFFF;", "\xC3\xA9|\xF4\x8F\xBF\xBF"},
                    TextCase{"longer_entity_kept", "&#000000233;", "&#000000233;"},
                    TextCase{"line_feeds_from_references_then_breaks", "a&#10;&#10;&#10;&#10;<br><br>b", "a\n\n\n\nb"}),
    [](const auto& info) { return info.param.name; });

struct CharsetCase {
    const char* name;
    std::string bytes;
    std::string charset;
    std::string expected;
};

std::ostream& operator<<(std::ostream& out, const CharsetCase& c) { return out << c.name; }

class CharsetText : public testing::TestWithParam<CharsetCase> {};

TEST_P(CharsetText, DecodesToUtf8WithFallbacks) {
    EXPECT_EQ(decodeText(GetParam().bytes, GetParam().charset), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CharsetText,
    testing::Values(CharsetCase{"utf8_as_is", "caf\xC3\xA9", "utf-8", "café"},
                    CharsetCase{"declared_latin1", "caf\xE9", "ISO-8859-1", "café"},
                    CharsetCase{"declared_alias_gmime_knows", "caf\xE9", "latin1", "café"},
                    CharsetCase{"declared_multibyte", "\xC4\xE3\xBA\xC3", "gb2312", "你好"},
                    CharsetCase{"declared_utf8_but_latin1", "caf\xE9", "utf-8", "café"},
                    CharsetCase{"declared_ascii_but_utf8", "caf\xC3\xA9", "us-ascii", "café"},
                    CharsetCase{"missing_undeclared_windows1252", "\x93hi\x94 \x80", "", "“hi” €"},
                    CharsetCase{"unknown_charset", "caf\xE9", "x-no-such-charset", "café"},
                    CharsetCase{"unknown_charset_utf8_text", "caf\xC3\xA9", "x-no-such-charset", "café"},
                    CharsetCase{"bytes_no_charset_defines",
                                "a\x81"
                                "b\x9D",
                                "", "a\uFFFDb\uFFFD"},
                    CharsetCase{"invalid_in_declared_but_utf8", "\xC3\xA9t\xC3\xA9", "iso-2022-jp", "été"},
                    CharsetCase{"bad_byte_in_multibyte_kept_around", "\xC4\xE3\xFF\xBA\xC3", "gb2312", "你\uFFFD好"},
                    CharsetCase{"empty_text_with_charset", "", "iso-8859-1", ""},
                    CharsetCase{"nul_bytes_kept", std::string("a\0b", 3), "iso-8859-1", std::string("a\0b", 3)},
                    CharsetCase{"code_point_beyond_unicode", std::string("\0\0\0a\x00\x1F\x00\x1A\0\0\0\xE9", 12),
                                "UCS-4", "a\uFFFD\uFFFD\uFFFD\uFFFDé"}),
    [](const auto& info) { return info.param.name; });

struct RelabelCase {
    const char* name;
    std::string header;
    std::optional<std::string> expected;
};

std::ostream& operator<<(std::ostream& out, const RelabelCase& c) { return out << c.name; }

class EncodedWordLabels : public testing::TestWithParam<RelabelCase> {};

TEST_P(EncodedWordLabels, RelabelOnlyRunsThatAreNotUtf8) {
    EXPECT_EQ(relabelMislabelledEncodedWords(GetParam().header), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EncodedWordLabels,
    testing::Values(
        RelabelCase{"no_words", "Subject: plain\n", std::nullopt},
        RelabelCase{"valid_utf8", "Subject: =?utf-8?Q?caf=C3=A9?=\n", std::nullopt},
        RelabelCase{"latin1_in_utf8_q", "Subject: =?utf-8?Q?caf=E9?=\n", "Subject: =?windows-1252?Q?caf=E9?=\n"},
        RelabelCase{"latin1_in_ascii_b", "Subject: =?US-ASCII?B?6Q==?=\n", "Subject: =?windows-1252?B?6Q==?=\n"},
        RelabelCase{"character_split_across_words", "S: =?utf-8?B?R3LD?=\n =?UTF-8?B?vMOfZQ==?=\n", std::nullopt},
        RelabelCase{"bad_run_relabelled_whole", "S: =?UTF-8?B?w6k=?= =?utf-8?Q?=E9?=\n",
                    "S: =?windows-1252?B?w6k=?= =?windows-1252?Q?=E9?=\n"},
        RelabelCase{"words_apart_judged_apart", "S: =?utf-8?Q?=C3?= x =?utf-8?Q?=A9?=\n",
                    "S: =?windows-1252?Q?=C3?= x =?windows-1252?Q?=A9?=\n"},
        RelabelCase{"other_charset_left_alone", "S: =?utf-8?Q?a?= =?iso-8859-1?Q?=E9?=\n", std::nullopt},
        RelabelCase{"language_tag_kept", "S: =?utf-8*en?Q?caf=E9?=\n", "S: =?windows-1252*en?Q?caf=E9?=\n"},
        RelabelCase{"unknown_encoding_not_a_word", "S: =?utf-8?X?=E9?=\n", std::nullopt},
        RelabelCase{"unterminated_not_a_word", "S: =?utf-8?Q?=E9\n", std::nullopt},
        RelabelCase{"word_after_unclosed_starts", "S: =?utf-8?q?a? =?x? =?utf-8?Q?caf=E9?=\n",
                    "S: =?utf-8?q?a? =?x? =?windows-1252?Q?caf=E9?=\n"},
        RelabelCase{"unclosed_start_runs_into_the_next_word", "S: =?utf-8?q?a=?utf-8?Q?caf=E9?=\n",
                    "S: =?windows-1252?q?a=?utf-8?Q?caf=E9?=\n"}),
    [](const auto& info) { return info.param.name; });

struct HeaderBlockCase {
    const char* name;
    std::string raw;
    std::size_t end;
    std::size_t bodyStart;
    bool endsWithBlankLine;
};

std::ostream& operator<<(std::ostream& out, const HeaderBlockCase& c) { return out << c.name; }

class HeaderBlockEnd : public testing::TestWithParam<HeaderBlockCase> {};

TEST_P(HeaderBlockEnd, FindsWhereTheBodyStarts) {
    HeaderBlock block = findHeaderBlock(GetParam().raw);
    EXPECT_EQ(block.end, GetParam().end);
    EXPECT_EQ(block.bodyStart, GetParam().bodyStart);
    EXPECT_EQ(block.endsWithBlankLine, GetParam().endsWithBlankLine);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HeaderBlockEnd,
    testing::Values(HeaderBlockCase{"blank_line", "A: 1\n\nbody", 5, 6, true},
                    HeaderBlockCase{"crlf_blank_line", "A: 1\r\n\r\nbody", 6, 8, true},
                    HeaderBlockCase{"continuation_line", "A: 1\n  more\n\nbody", 12, 13, true},
                    HeaderBlockCase{"space_before_colon", "Subject : x\n\n", 12, 13, true},
                    HeaderBlockCase{"body_without_blank_line", "A: 1\nHello there\n", 5, 5, false},
                    HeaderBlockCase{"no_header", "Hello there: you\n", 0, 0, false},
                    HeaderBlockCase{"first_line_indented", " A: 1\n\n", 0, 0, false},
                    HeaderBlockCase{"mbox_separator_first", "From a@b Tue\nA: 1\n\n", 18, 19, true},
                    HeaderBlockCase{"mbox_separator_later_ends_block", "A: 1\nFrom a@b Tue\n", 5, 5, false},
                    HeaderBlockCase{"header_to_the_end", "A: 1\nB: 2", 9, 9, false},
                    HeaderBlockCase{"eight_bit_field_name", "A: 1\nN\xC3\xA4me: x\n", 5, 5, false},
                    HeaderBlockCase{"empty", "", 0, 0, false}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace quillbrook::dev_agent
