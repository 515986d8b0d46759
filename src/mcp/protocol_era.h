#pragma once

#include <array>
#include <optional>
#include <string_view>

#include "json/json.h"
#include "mcp/error_codes.h"

namespace quillbrook {

// The two revisions of MCP the server speaks. Each request picks its own, by
// the protocol version in its "_meta" or by leaving it out; nothing carries
// over from one request to the next.
enum class Era {
    legacy,  // opened with initialize; results exactly as they always were
    modern,  // version and client capabilities in every request; typed results
};

// What initialize answers, whatever version the client asks for.
inline constexpr std::string_view kLegacyProtocolVersion = "2024-11-05";

// The versions a request may name in its "_meta", all of the modern era.
// The legacy one is reached through initialize only, so it is not among them.
inline constexpr std::array<std::string_view, 1> kModernProtocolVersions = {"2026-07-28"};

struct EraSelection {
    Era era;
    // Set when a request names the modern era but cannot be served in it.
    std::optional<jsonrpc::Error> refusal;
};

// The era the params of one message select: modern when their "_meta" holds
// "io.modelcontextprotocol/protocolVersion", legacy otherwise.
EraSelection selectEra(json::View params);

// kModernProtocolVersions as a JSON array, as server/discover and -32022 list them.
json::Value supportedProtocolVersions();

// Whether `id` may identify a modern request: a string or an integer.
bool isModernRequestId(const json::Value& id);

}  // namespace quillbrook
