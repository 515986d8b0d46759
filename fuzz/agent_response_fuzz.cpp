// One agent response line through the response rules and both sorted writers,
// with a round-trip oracle: what each writer produces reads back, with our
// strict reader and with nlohmann as an independent parser, to a value equal
// to the result that was read.

#include <cstdint>
#include <string_view>

#include <nlohmann/json.hpp>

#include "check.h"
#include "independent_json.h"
#include "json/json.h"
#include "transport/response_rules.h"
#include "transport/socket_error.h"

namespace {

using namespace quillbrook;

bool holdsUnreadable(const nlohmann::json& value) {
    if (value.is_discarded()) {
        return true;
    }
    if (value.is_object() || value.is_array()) {
        for (const auto& member : value) {
            if (holdsUnreadable(member)) {
                return true;
            }
        }
    }
    return false;
}

void checkRoundTrip(const std::string& written, const json::Value& expected) {
    auto ours = json::parseStrict(written);
    FUZZ_CHECK(ours.has_value());
    FUZZ_CHECK(ours->root().toValue() == expected);
    // Where the independent parser cannot read a number, it has nothing to say.
    const nlohmann::json independent = fuzz::asIndependentlyParsed(expected);
    if (!holdsUnreadable(independent)) {
        FUZZ_CHECK(nlohmann::json::parse(written, nullptr, false) == independent);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view line(reinterpret_cast<const char*>(data), size);
    std::optional<json::Document> result;
    try {
        result = MCPToolMapping::parseResponse(std::string(line));
    } catch (const CLISocketError& error) {
        FUZZ_CHECK(!error.stderrMessage().empty());
        return 0;
    }
    const json::Value expected = result->root().toValue();
    FUZZ_CHECK(expected.isObject());

    auto compact = json::writeCompactSorted(result->root());
    checkRoundTrip(compact, expected);
    FUZZ_CHECK(compact.find('\n') == std::string::npos);
    checkRoundTrip(json::writePrettySorted(result->root()), expected);
    return 0;
}
