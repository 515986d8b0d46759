#include "json/value.h"

namespace quillbrook::json {

namespace {

// Any fixed number serves; the binary values of Value carry no other meaning here.
constexpr std::uint64_t kBigIntegerSubtype = 0x7162;

}  // namespace

Value bigInteger(std::string_view digits) {
    return Value::binary(Value::binary_t::container_type(digits.begin(), digits.end()), kBigIntegerSubtype);
}

std::optional<std::string_view> bigIntegerDigits(const Value& value) {
    if (!value.is_binary()) {
        return std::nullopt;
    }
    const Value::binary_t& bytes = value.get_binary();
    if (!bytes.has_subtype() || bytes.subtype() != kBigIntegerSubtype) {
        return std::nullopt;
    }
    return std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

}  // namespace quillbrook::json
