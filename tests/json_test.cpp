#include "json/json.h"

#include <string>

#include <gtest/gtest.h>

namespace json = quillbrook::json;

namespace {

std::string compact(std::string_view text) {
    auto document = json::parseStrict(text);
    EXPECT_TRUE(document) << text;
    return document ? json::writeCompactSorted(document->root()).value_or("<unwritable>") : "";
}

std::string nested(std::size_t depth) { return std::string(depth, '[') + std::string(depth, ']'); }

TEST(JsonParseStrict, RefusesWhatIsNotOneObjectOrArray) {
    const std::string withNul = std::string("{\"ok\":true}") + '\0' + "garbage";
    for (std::string_view text : {std::string_view(""), std::string_view("   "), std::string_view("42"),
                                  std::string_view("\"text\""), std::string_view("null"), std::string_view("{} {}"),
                                  std::string_view("{\"a\":1} x"), std::string_view("{\"a\":1,}"),
                                  std::string_view("{\"a\":NaN}"), std::string_view("{\"a\":1e400}"),
                                  std::string_view("{\"a\":\"\xff\"}"), std::string_view("{\"a\":\"\\ud800\"}"), std::string_view("{\"a\":\"\\udc00\"}"),
                                  std::string_view("{\"a\":\"x\\\\udc00\\udc00\"}"),
                                  std::string_view("// c\n{}"), std::string_view(withNul)}) {
        EXPECT_FALSE(json::parseStrict(text)) << "accepted: " << text;
    }
}

TEST(JsonParseStrict, AcceptsObjectsAndArraysWithSurroundingWhitespace) {
    EXPECT_TRUE(json::parseStrict(" {}\r"));
    EXPECT_TRUE(json::parseStrict("[]"));
    EXPECT_TRUE(json::parseStrict("{\"a\":\"\\u0000\"}"));
    EXPECT_TRUE(json::parseStrict("{\"a\":\"\\ud83d\\ude00 \\\\udc00\"}"));
}

TEST(JsonParseStrict, DepthLimitIsFiveHundredTwelve) {
    EXPECT_TRUE(json::parseStrict(nested(json::kMaxDepth)));
    EXPECT_FALSE(json::parseStrict(nested(json::kMaxDepth + 1)));
    // Brackets inside strings do not count as nesting.
    EXPECT_TRUE(json::parseStrict("{\"a\":\"" + std::string(100000, '[') + "\"}"));
    EXPECT_FALSE(json::parseStrict(nested(200000)));
}

TEST(JsonWrite, CompactSortsKeysAtEveryLevelAndKeepsArrayOrder) {
    EXPECT_EQ(compact(R"({"b":1,"a":{"d":[3,1,2],"c":null},"A":true})"),
              R"({"A":true,"a":{"c":null,"d":[3,1,2]},"b":1})");
}

TEST(JsonWrite, KeysSortByCodePoint) {
    EXPECT_EQ(compact(R"({"é":1,"z":2,"Z":3,"€":4})"), R"({"Z":3,"z":2,"é":1,"€":4})");
}

TEST(JsonWrite, LastOfRepeatedKeysWins) {
    EXPECT_EQ(compact(R"({"a":1,"b":2,"a":3})"), R"({"a":3,"b":2})");
    auto document = json::parseStrict(R"({"a":1,"a":"last"})");
    EXPECT_EQ(document->root().find("a")->string(), "last");
}

TEST(JsonWrite, EscapesSolidusAndControlsButNotUnicode) {
    EXPECT_EQ(compact(R"(["a/b","\u00e9\u2014","\"\\","\n\t\b\f\r","\u0001\u001f","\u007f"])"),
              "[\"a\\/b\",\"é—\",\"\\\"\\\\\",\"\\n\\t\\b\\f\\r\",\"\\u0001\\u001f\",\"\x7f\"]");
}

TEST(JsonWrite, NumbersSurviveTheRoundTrip) {
    EXPECT_EQ(compact("[0,-1,9223372036854775807,-9223372036854775808,18446744073709551615]"),
              "[0,-1,9223372036854775807,-9223372036854775808,18446744073709551615]");
    EXPECT_EQ(compact("[1.5,0.1,1.0,-2.50,1e21,1E-7,123456789012345678901234567890]"),
              "[1.5,0.1,1.0,-2.5,1e+21,1e-07,1.2345678901234568e+29]");
}

TEST(JsonWrite, PrettyIndentsByTwoAndWritesEmptyContainersShort) {
    auto document = json::parseStrict(R"({"b":[1,{}],"a":{},"c":[]})");
    EXPECT_EQ(json::writePrettySorted(document->root()),
              "{\n  \"a\": {},\n  \"b\": [\n    1,\n    {}\n  ],\n  \"c\": []\n}");
}

TEST(JsonWrite, BuiltValuesFollowTheSameRules) {
    json::Value value = {{"z", "a/b"}, {"a", {1, 2.0, nullptr}}};
    EXPECT_EQ(json::writeCompactSorted(value), R"({"a":[1,2.0,null],"z":"a\/b"})");
    EXPECT_EQ(json::writeRequest(value), R"({"a":[1,2.0,null],"z":"a\/b"})");
    EXPECT_EQ(json::writePrettySorted(json::Value::object()), "{}");
}

TEST(JsonWrite, RefusesWhatCannotBeWrittenAsJson) {
    EXPECT_FALSE(json::writeRequest({{"body", "caf\xe9"}}));
    EXPECT_FALSE(json::writeRequest({{"k\xc3", 1}}));
    EXPECT_FALSE(json::writeRequest({{"overlong", "\xc0\xaf"}}));
    EXPECT_FALSE(json::writeRequest({{"surrogate", "\xed\xa0\x80"}}));
    EXPECT_FALSE(json::writeCompactSorted(json::Value(std::numeric_limits<double>::infinity()) ));
}

TEST(JsonView, DeepDocumentsWriteAtTheLimit) {
    auto document = json::parseStrict(nested(json::kMaxDepth));
    ASSERT_TRUE(document);
    EXPECT_EQ(json::writeCompactSorted(document->root()), nested(json::kMaxDepth));
    EXPECT_EQ(json::writeCompactSorted(document->root().toValue()), nested(json::kMaxDepth));
}

TEST(JsonView, NarrowingKeepsTheMemberAlive) {
    auto document = json::parseStrict(R"({"ok":true,"result":{"x":"y"}})");
    document->narrowTo(*document->root().find("result"));
    json::Document moved = std::move(*document);
    EXPECT_EQ(json::writeCompactSorted(moved.root()), R"({"x":"y"})");
}

}  // namespace
