#include "mcp/protocol_era.h"

#include <algorithm>
#include <string>

namespace quillbrook {

namespace {

constexpr std::string_view kVersionKey = "io.modelcontextprotocol/protocolVersion";
constexpr std::string_view kCapabilitiesKey = "io.modelcontextprotocol/clientCapabilities";

EraSelection refused(int code, std::string message, std::optional<json::Value> data = std::nullopt) {
    return {Era::modern, jsonrpc::Error{code, std::move(message), std::move(data)}};
}

}  // namespace

EraSelection selectEra(json::View params) {
    auto meta = params.find("_meta");
    auto version = meta && meta->isObject() ? meta->find(kVersionKey) : std::nullopt;
    if (!version) {
        return {Era::legacy, std::nullopt};
    }
    auto requested = version->string();
    if (!requested) {
        return refused(jsonrpc::kInvalidParams, "Protocol version must be a string");
    }
    if (std::ranges::find(kModernProtocolVersions, *requested) == kModernProtocolVersions.end()) {
        return refused(jsonrpc::kUnsupportedProtocolVersion, "Unsupported protocol version",
                       json::Value{{"supported", supportedProtocolVersions()}, {"requested", std::string(*requested)}});
    }
    // The server relies on no capability of the client, but a request without
    // them is malformed, and serving it would let such a client pass unnoticed.
    auto capabilities = meta->find(kCapabilitiesKey);
    if (!capabilities || !capabilities->isObject()) {
        return refused(jsonrpc::kInvalidParams, "Missing client capabilities");
    }
    return {Era::modern, std::nullopt};
}

json::Value supportedProtocolVersions() {
    json::Value versions = json::Value::array();
    for (std::string_view version : kModernProtocolVersions) {
        versions.pushBack(version);
    }
    return versions;
}

bool isModernRequestId(const json::Value& id) {
    switch (id.kind()) {
    case json::Kind::string:
    case json::Kind::int64:
    case json::Kind::uint64:
    case json::Kind::bigInteger:
        return true;
    default:
        return false;
    }
}

}  // namespace quillbrook
