#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include <nlohmann/json.hpp>

namespace quillbrook::json {

using Value = nlohmann::json;

// Deeper documents are refused as unparseable: they cannot be written back
// without risking the stack, and no honest message nests that far.
inline constexpr std::size_t kMaxDepth = 512;

// An integer too long for 64 bits, held as its digits so that it is written back
// unchanged. Value has no such number, so it is a binary value of a subtype of
// our own, which nothing else in the program creates.
Value bigInteger(std::string_view digits);

// The digits of a bigInteger, or nothing for any other value.
std::optional<std::string_view> bigIntegerDigits(const Value& value);

// One value already written as JSON text by a writer of this module, which the
// compact and pretty writers copy as it is: a large tool text is escaped once,
// straight from the agent's answer, and never built or checked again.
Value preWritten(std::string_view text);

// The text of a preWritten value, or nothing for any other value.
std::optional<std::string_view> preWrittenText(const Value& value);

}  // namespace quillbrook::json
