#include "json/json.h"

#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace json = quillbrook::json;

namespace {

std::string compact(std::string_view text) {
    auto document = json::parseStrict(text);
    EXPECT_TRUE(document) << text;
    return document ? json::writeCompactSorted(document->root()) : "";
}

// A member `"name":value` and a comma. (Built by appending: GCC 12 warns falsely on
// a literal added to a string here.)
std::string member(const std::string& name, int value) {
    std::string text(1, '"');
    text.append(name).append("\":").append(std::to_string(value)).append(1, ',');
    return text;
}

// "k", a digit, then two more: keys whose byte order is easy to state.
std::string key(int digit, int i) {
    std::string text(1, 'k');
    text.append(std::to_string(digit)).append(i < 10 ? "0" : "").append(std::to_string(i));
    return text;
}

std::string nested(std::size_t depth) { return std::string(depth, '[') + std::string(depth, ']'); }

TEST(JsonParseStrict, RefusesWhatIsNotOneObjectOrArray) {
    const std::string withNul = std::string("{\"ok\":true}") + '\0' + "garbage";
    for (std::string_view text :
         {std::string_view(""), std::string_view("   "), std::string_view("42"), std::string_view("\"text\""),
          std::string_view("null"), std::string_view("{} {}"), std::string_view("{\"a\":1} x"),
          std::string_view("{\"a\":1,}"), std::string_view("{\"a\":NaN}"), std::string_view("{\"a\":1e400}"),
          std::string_view("{\"a\":\"\xff\"}"), std::string_view("{\"a\":\"\\ud800\"}"),
          std::string_view("{\"a\":\"\\udc00\"}"), std::string_view("{\"a\":\"x\\\\udc00\\udc00\"}"),
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
    EXPECT_TRUE(json::parseStrict(nested(512)));
    EXPECT_FALSE(json::parseStrict(nested(513)));
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
    struct Case {
        std::string_view text;
        std::string_view written;
    };
    const Case cases[] = {
        {"[0,-1,9223372036854775807,-9223372036854775808,18446744073709551615]",
         "[0,-1,9223372036854775807,-9223372036854775808,18446744073709551615]"},
        {"[1.5,0.1,1.0,-2.50,1e21,1E-7,-0]", "[1.5,0.1,1.0,-2.5,1e+21,1e-07,0]"},
        // Integers beyond 64 bits keep every digit.
        {"[99999999999999999999,-9223372036854775809,18446744073709551616]",
         "[99999999999999999999,-9223372036854775809,18446744073709551616]"},
        {"[123456789012345678901234567890123456789012345678901234567890]",
         "[123456789012345678901234567890123456789012345678901234567890]"},
        // At the ends of the double range: the largest stays, what is too small is zero.
        {"[1.7976931348623157e308,-1.7976931348623157E+308,4.9e-324]",
         "[1.7976931348623157e+308,-1.7976931348623157e+308,5e-324]"},
        {"[1e-400,-1e-400,0.0000001e-320,0e2147483647]", "[0.0,-0.0,0.0,0.0]"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(compact(c.text), c.written);
    }
}

TEST(JsonParseStrict, RefusesNumbersBeyondTheDoubleRange) {
    for (std::string_view text : {"[1E400]", "[1.7976931348623157e309]", "[-1.7976931348623157e309]", "[0.5e309]",
                                  "[17976931348623159e292]", "[1e99999999999]",
                                  // An exponent past the range of an int is refused, whichever way it points.
                                  "[1e-99999999999]"}) {
        EXPECT_FALSE(json::parseStrict(text)) << "accepted: " << text;
    }
}

TEST(JsonView, LongIntegersAreNumbersInEveryForm) {
    auto document = json::parseStrict(R"({"n":-99999999999999999999,"s":"99999999999999999999"})");
    ASSERT_TRUE(document);
    json::View n = *document->root().find("n");
    EXPECT_FALSE(n.isString());
    EXPECT_FALSE(n.string());
    EXPECT_EQ(document->root().find("s")->string(), "99999999999999999999");

    json::Value built = document->root().toValue();
    EXPECT_EQ(built["n"].bigIntegerDigits(), "-99999999999999999999");
    EXPECT_FALSE(built["s"].bigIntegerDigits());
    EXPECT_EQ(json::writeCompactSorted(built), R"({"n":-99999999999999999999,"s":"99999999999999999999"})");
    EXPECT_EQ(json::writePrettySorted(document->root()),
              "{\n  \"n\": -99999999999999999999,\n  \"s\": \"99999999999999999999\"\n}");
}

TEST(JsonWrite, LargeObjectsSortAndKeepTheLastOfRepeatedKeys) {
    // Past 24 members objects take the general sort, which must keep repeats in order.
    std::string text = "{";
    std::string expected = "{";
    for (int i = 29; i >= 0; --i) {
        text += member(key(i % 10, i), i);
    }
    for (int round = 0; round < 3; ++round) {
        for (char name = 'a'; name <= 'e'; ++name) {
            text += member(std::string(1, name), round);
        }
    }
    text.back() = '}';
    for (char name = 'a'; name <= 'e'; ++name) {
        expected += member(std::string(1, name), 2);
    }
    for (int digit = 0; digit < 10; ++digit) {
        for (int i = digit; i < 30; i += 10) {
            expected += member(key(digit, i), i);
        }
    }
    expected.back() = '}';
    EXPECT_EQ(compact(text), expected);
}

TEST(JsonWrite, EscapesStraddlingTheSliceBoundaryOfLongStrings) {
    // Long strings are escaped 16 KiB at a time; what sits across a boundary must come out whole.
    constexpr std::size_t kSlice = 16 * 1024;
    for (std::size_t before : {kSlice - 3, kSlice - 2, kSlice - 1, kSlice, 2 * kSlice - 1}) {
        const std::string pad(before, 'a');
        const std::string text = "[\"" + pad + "\\n\u00e9\u20ac/\\\"\\u0001" + pad + "\"]";
        const std::string written = "[\"" + pad + "\\n\u00e9\u20ac\\/\\\"\\u0001" + pad + "\"]";
        EXPECT_EQ(compact(text), written) << before;
    }
}

TEST(JsonWrite, AsStringIsTheCompactTextEscapedOnceMore) {
    const std::string longText = "[\"" + std::string(3 * 16 * 1024 + 5, 'a') + "\\\"/\u00e9\\u0001\"]";
    for (std::string_view text :
         {std::string_view(R"({"b":"x/\"\n\t","a":[1,-2.5,99999999999999999999,null,true]})"),
          std::string_view(R"(["\u0000\u001f\u007f\\\\/ caf\u00e9 \ud83d\ude00"])"), std::string_view(longText)}) {
        auto document = json::parseStrict(text);
        ASSERT_TRUE(document) << text;
        const std::string asString = json::writeCompactSortedAsString(document->root());
        auto reread = json::parseStrict("[" + asString + "]");
        ASSERT_TRUE(reread) << asString;
        EXPECT_EQ(reread->root().at(0).string(), json::writeCompactSorted(document->root()));
        EXPECT_EQ(json::writeCompactSortedAsString(document->root().toValue()), asString);
    }
    EXPECT_EQ(compact(R"(["a/\"\n"])"), R"(["a\/\"\n"])");
    auto document = json::parseStrict(R"(["a/\"\n"])");
    EXPECT_EQ(json::writeCompactSortedAsString(document->root()), R"("[\"a\\\/\\\"\\n\"]")");
}

TEST(JsonWrite, PreWrittenTextStandsAsItIsInEveryLayout) {
    const json::Value value = {{"text", json::Value::preWritten(R"("{\"a\":1}\/")")}, {"n", 1}};
    EXPECT_EQ(json::writeCompactSorted(value), R"({"n":1,"text":"{\"a\":1}\/"})");
    EXPECT_EQ(json::writePrettySorted(value), "{\n  \"n\": 1,\n  \"text\": \"{\\\"a\\\":1}\\/\"\n}");
    // Inside a string it is escaped once more, as the text it stands for would be.
    auto document = json::parseStrict(*json::writeCompactSorted(value));
    ASSERT_TRUE(document);
    EXPECT_EQ(json::writeCompactSortedAsString(value), json::writeCompactSortedAsString(document->root()));
}

TEST(JsonWrite, PrettyIndentsByTwoAndWritesEmptyContainersShort) {
    auto document = json::parseStrict(R"({"b":[1,{}],"a":{},"c":[]})");
    EXPECT_EQ(json::writePrettySorted(document->root()),
              "{\n  \"a\": {},\n  \"b\": [\n    1,\n    {}\n  ],\n  \"c\": []\n}");
}

TEST(JsonWrite, BuiltValuesFollowTheSameRules) {
    json::Value value = {{"z", "a/b"}, {"a", {1, 2.0, nullptr}}};
    EXPECT_EQ(json::writeCompactSorted(value), R"({"a":[1,2.0,null],"z":"a\/b"})");
    value["m"] = true;
    value.erase("z");
    EXPECT_EQ(json::writeCompactSorted(value), R"({"a":[1,2.0,null],"m":true})");
    EXPECT_EQ(json::writeCompactSorted(json::Value::array({json::Value::bigInteger("-123456789012345678901")})),
              "[-123456789012345678901]");
    EXPECT_EQ(json::writePrettySorted(json::Value::object()), "{}");
}

TEST(JsonValue, ListsOfKeyValuePairsAreObjectsAndAnyOtherListAnArray) {
    const std::pair<json::Value, const char*> cases[] = {
        {json::Value{{"b", 1}, {"a", {1, "x"}}}, R"({"a":[1,"x"],"b":1})"},
        {json::Value{{"k", 1}, {"k", 2}}, R"({"k":2})"},  // of repeated keys the last counts
        {json::Value{{"a", 1}, {2, 3}}, R"([["a",1],[2,3]])"},
        {json::Value{"a", 1}, R"(["a",1])"},
        {json::Value::array({{"a", 1}}), R"([["a",1]])"},
        {json::Value(std::vector<std::string>{"x", "y"}), R"(["x","y"])"},
    };
    for (const auto& [value, written] : cases) {
        EXPECT_EQ(json::writeCompactSorted(value), written);
    }
}

TEST(JsonWrite, RefusesWhatCannotBeWrittenAsJson) {
    EXPECT_FALSE(json::writeCompactSorted({{"body", "caf\xe9"}}));
    EXPECT_FALSE(json::writeCompactSorted({{"k\xc3", 1}}));
    EXPECT_FALSE(json::writeCompactSorted({{"overlong", "\xc0\xaf"}}));
    EXPECT_FALSE(json::writeCompactSorted({{"surrogate", "\xed\xa0\x80"}}));
    EXPECT_FALSE(json::writeCompactSorted(json::Value(std::numeric_limits<double>::infinity())));
}

TEST(JsonView, DeepDocumentsWriteAtTheLimit) {
    auto document = json::parseStrict(nested(512));
    ASSERT_TRUE(document);
    EXPECT_EQ(json::writeCompactSorted(document->root()), nested(512));
    EXPECT_EQ(json::writeCompactSorted(document->root().toValue()), nested(512));
}

TEST(JsonView, NarrowingKeepsTheMemberAlive) {
    auto document = json::parseStrict(R"({"ok":true,"result":{"x":"y"}})");
    document->narrowTo(*document->root().find("result"));
    json::Document moved = std::move(*document);
    EXPECT_EQ(json::writeCompactSorted(moved.root()), R"({"x":"y"})");
}

}  // namespace
