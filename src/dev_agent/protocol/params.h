#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "json/json.h"

namespace quillbrook::dev_agent {

// Typed access to the parameters of one request (the members beside "action").
// A parameter of the wrong JSON type throws AgentError "bad_request" naming it; a
// null counts as absent, since some MCP clients send null for "not given".
class Params {
public:
    explicit Params(json::View request) : request_(request) {}

    std::string requiredString(const char* name) const;
    std::optional<std::string> optionalString(const char* name) const;
    std::optional<std::int64_t> optionalInteger(const char* name) const;
    std::optional<std::vector<std::string>> optionalStringArray(const char* name) const;

    // A message UID: a positive decimal number, as a string (the usual form) or
    // a JSON integer.
    std::uint64_t requiredUid(const char* name) const;
    std::optional<std::uint64_t> optionalUid(const char* name) const;

private:
    std::optional<json::View> find(const char* name) const;

    json::View request_;
};

// "1234" as a UID; nothing for anything else (signs, blanks, zero, overflow).
std::optional<std::uint64_t> parseUid(std::string_view text);

}  // namespace quillbrook::dev_agent
