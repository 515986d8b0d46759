// Which era the "_meta" of a request selects, what a modern request that cannot
// be served gets instead, and which ids a modern request may carry.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "mcp/protocol_era.h"

namespace {

using namespace quillbrook;

const std::string kVersionKey = R"("io.modelcontextprotocol/protocolVersion")";
const std::string kCapabilitiesKey = R"("io.modelcontextprotocol/clientCapabilities")";

EraSelection selectionFor(const std::string& params) {
    auto document = json::parseStrict(params);
    EXPECT_TRUE(document) << params;
    return selectEra(document->root());
}

TEST(McpProtocolEra, SelectsTheModernEraByTheVersionKeyAlone) {
    struct Case {
        std::string params;
        Era era;
    };
    const std::vector<Case> cases = {
        {R"({})", Era::legacy},
        {R"({"_meta":{}})", Era::legacy},
        {R"({"_meta":"2026-07-28"})", Era::legacy},
        {R"({"_meta":[{"io.modelcontextprotocol/protocolVersion":"2026-07-28"}]})", Era::legacy},
        {R"({"_meta":{"protocolVersion":"2026-07-28","progressToken":1}})", Era::legacy},
        // What initialize carries is not the key: initialize stays legacy whatever it asks for.
        {R"({"protocolVersion":"2026-07-28","capabilities":{}})", Era::legacy},
        {R"({"name":"list_accounts","arguments":{"_meta":{)" + kVersionKey + R"(:"2026-07-28"}}})", Era::legacy},
        {R"({"_meta":{)" + kVersionKey + R"(:"2026-07-28",)" + kCapabilitiesKey + ":{}}}", Era::modern},
        {R"({"name":"x","_meta":{"io.modelcontextprotocol/clientInfo":{"name":"c","version":"1"},)" + kCapabilitiesKey +
             R"(:{"roots":{}},)" + kVersionKey + R"(:"2026-07-28","traceparent":"00-1-2-01"}})",
         Era::modern},
    };
    for (const Case& c : cases) {
        EraSelection selection = selectionFor(c.params);
        EXPECT_EQ(selection.era, c.era) << c.params;
        EXPECT_FALSE(selection.refusal) << c.params;
    }
}

TEST(McpProtocolEra, RefusesAModernRequestItCannotServe) {
    struct Case {
        std::string version;       // the JSON value under the version key
        std::string capabilities;  // the member holding the capabilities, if any
        int code;
        std::string message;
    };
    const std::string withCapabilities = "," + kCapabilitiesKey + ":{}";
    const std::vector<Case> cases = {
        {R"("2025-11-25")", withCapabilities, -32022, "Unsupported protocol version"},
        // The legacy revision is reached through initialize, not named per request.
        {R"("2024-11-05")", withCapabilities, -32022, "Unsupported protocol version"},
        {R"("")", withCapabilities, -32022, "Unsupported protocol version"},
        {R"("2026-07-28 ")", withCapabilities, -32022, "Unsupported protocol version"},
        {R"("1900-01-01")", "", -32022, "Unsupported protocol version"},
        {"20260728", withCapabilities, -32602, "Protocol version must be a string"},
        {"null", withCapabilities, -32602, "Protocol version must be a string"},
        {R"(["2026-07-28"])", withCapabilities, -32602, "Protocol version must be a string"},
        {R"("2026-07-28")", "", -32602, "Missing client capabilities"},
        {R"("2026-07-28")", "," + kCapabilitiesKey + ":null", -32602, "Missing client capabilities"},
        {R"("2026-07-28")", "," + kCapabilitiesKey + ":[]", -32602, "Missing client capabilities"},
        {R"("2026-07-28")", R"(,"clientCapabilities":{})", -32602, "Missing client capabilities"},
    };
    for (const Case& c : cases) {
        const std::string params = R"({"_meta":{)" + kVersionKey + ":" + c.version + c.capabilities + "}}";
        EraSelection selection = selectionFor(params);
        EXPECT_EQ(selection.era, Era::modern) << params;
        ASSERT_TRUE(selection.refusal) << params;
        EXPECT_EQ(selection.refusal->code, c.code) << params;
        EXPECT_EQ(selection.refusal->message, c.message) << params;
        EXPECT_EQ(selection.refusal->data.has_value(), c.code == -32022) << params;
    }
}

TEST(McpProtocolEra, TellsAnUnsupportedVersionWhatIsSpokenAndWhatWasAsked) {
    EraSelection selection = selectionFor(R"({"_meta":{)" + kVersionKey + R"(:"caf\u00e9/1"}})");
    ASSERT_TRUE(selection.refusal && selection.refusal->data);
    EXPECT_EQ(json::writeCompactSorted(*selection.refusal->data),
              "{\"requested\":\"caf\u00e9\\/1\",\"supported\":[\"2026-07-28\"]}");
}

TEST(McpProtocolEra, TakesOnlyStringAndIntegerIdsForModernRequests) {
    const std::vector<std::string> taken = {
        R"("")", R"("a")", "0", "-7", "18446744073709551615", "-9223372036854775809", "123456789012345678901234567890"};
    const std::vector<std::string> refused = {"null", "true", "1.5", "1.0", "1e3", "[1]", R"({"id":1})"};
    for (const std::string& id : taken) {
        auto document = json::parseStrict("[" + id + "]");
        ASSERT_TRUE(document);
        EXPECT_TRUE(isModernRequestId(document->root().at(0).toValue())) << id;
    }
    for (const std::string& id : refused) {
        auto document = json::parseStrict("[" + id + "]");
        ASSERT_TRUE(document);
        EXPECT_FALSE(isModernRequestId(document->root().at(0).toValue())) << id;
    }
}

}  // namespace
