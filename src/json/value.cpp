#include "json/value.h"

namespace quillbrook::json {

namespace {

// Any fixed numbers serve; the binary values of Value carry no other meaning here.
constexpr std::uint64_t kBigIntegerSubtype = 0x7162;
constexpr std::uint64_t kPreWrittenSubtype = 0x7163;

Value binaryOf(std::string_view text, std::uint64_t subtype) {
    return Value::binary(Value::binary_t::container_type(text.begin(), text.end()), subtype);
}

std::optional<std::string_view> textOf(const Value& value, std::uint64_t subtype) {
    if (!value.is_binary()) {
        return std::nullopt;
    }
    const Value::binary_t& bytes = value.get_binary();
    if (!bytes.has_subtype() || bytes.subtype() != subtype) {
        return std::nullopt;
    }
    return std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

}  // namespace

Value bigInteger(std::string_view digits) { return binaryOf(digits, kBigIntegerSubtype); }

std::optional<std::string_view> bigIntegerDigits(const Value& value) { return textOf(value, kBigIntegerSubtype); }

Value preWritten(std::string_view text) { return binaryOf(text, kPreWrittenSubtype); }

std::optional<std::string_view> preWrittenText(const Value& value) { return textOf(value, kPreWrittenSubtype); }

}  // namespace quillbrook::json
