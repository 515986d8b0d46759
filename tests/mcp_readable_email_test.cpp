// What a modern read_email gives the assistant: the HTML only where it is the
// only text, and bodies cut to the size asked for.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "mcp/mcp_error.h"
#include "mcp/readable_email.h"
#include "support/parsed_value.h"

namespace {

using namespace quillbrook;

json::Value shaped(const char* email, const char* arguments) {
    json::Value result = test_support::parsedValue(email);
    applyReadingOptions(result, readingOptions(test_support::parsedValue(arguments)));
    return result;
}

TEST(McpReadableEmail, LeavesOutHtmlWhereThePlainTextHasTextAndCutsAtCharacters) {
    struct Case {
        const char* email;
        const char* arguments;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {R"({"body":"Hi","bodyHTML":"<p>Hi</p>","uid":"7"})", "{}", R"({"body":"Hi","uid":"7"})"},
        {R"({"body":"Hi","bodyHTML":"<p>Hi</p>"})", R"({"include_html":true})",
         R"({"body":"Hi","bodyHTML":"<p>Hi</p>"})"},
        // An email with only HTML keeps it: there is nothing else to read.
        {R"({"body":" \r\n","bodyHTML":"<p>Hi</p>"})", "{}", R"({"body":" \r\n","bodyHTML":"<p>Hi</p>"})"},
        {R"({"bodyHTML":"<p>Hi</p>"})", R"({"include_html":false})", R"({"bodyHTML":"<p>Hi</p>"})"},
        {R"({"body":7,"bodyHTML":"<p>Hi</p>"})", "{}", R"({"body":7,"bodyHTML":"<p>Hi</p>"})"},
        // Characters, not bytes: "é" and "😀" are cut whole or kept whole.
        {R"({"body":"h\u00e9llo \ud83d\ude00!"})", R"({"max_chars":2})",
         R"({"body":"h\u00e9\n[6 more characters left out; a larger max_chars shows them]"})"},
        {R"({"body":"h\u00e9llo \ud83d\ude00!"})", R"({"max_chars":7})",
         R"({"body":"h\u00e9llo \ud83d\ude00\n[1 more character left out; a larger max_chars shows them]"})"},
        {R"({"body":"abc","bodyHTML":"<b>abc</b>"})", R"({"max_chars":3,"include_html":true})",
         R"({"body":"abc","bodyHTML":"<b>\n[7 more characters left out; a larger max_chars shows them]"})"},
        {R"({"body":"abc","subject":"a long subject"})", R"({"max_chars":1,"include_html":null})",
         R"({"body":"a\n[2 more characters left out; a larger max_chars shows them]","subject":"a long subject"})"},
        {R"([1,2])", R"({"max_chars":1})", "[1,2]"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(shaped(c.email, c.arguments), test_support::parsedValue(c.expected)) << c.email << " " << c.arguments;
    }
}

TEST(McpReadableEmail, RefusesOptionsOfTheWrongKind) {
    for (const char* arguments : {R"({"include_html":"yes"})", R"({"include_html":1})", R"({"max_chars":0})",
                                  R"({"max_chars":-5})", R"({"max_chars":2.5})", R"({"max_chars":"100"})"}) {
        EXPECT_THROW(readingOptions(test_support::parsedValue(arguments)), MCPError) << arguments;
    }
}

}  // namespace
