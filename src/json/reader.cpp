#include <algorithm>
#include <charconv>
#include <cstdint>

#include <boost/json/basic_parser_impl.hpp>
#include <boost/json/value_stack.hpp>
#include <fast_float/fast_float.h>

#include "json/parsed_node.h"

// Boost.JSON reads, in one pass: it validates UTF-8 and escapes, refuses raw
// control characters (a NUL among them), lone surrogates, trailing data and
// nesting past a limit as it goes. Numbers are taken from it as text where it
// would lose them: integers past 64 bits keep their digits, and fractions are
// converted with fast_float, which is exact where the library's own conversion
// may be off by one unit in the last place.

namespace quillbrook::json {

namespace {

const ParsedValue& node(View v) { return ViewAccess::node(v); }

using boost::json::error_code;
using boost::json::string_view;

// Whether a number that a double cannot hold is too large for it rather than too
// small: the power of ten of its first nonzero digit decides.
bool isBeyondDoubleRange(std::string_view number) {
    std::size_t exponentAt = std::min(number.find_first_of("eE"), number.size());
    std::string_view mantissa = number.substr(0, exponentAt);
    int exponent = 0;
    if (exponentAt < number.size()) {
        std::string_view digits = number.substr(exponentAt + 1);
        if (digits.front() == '+') {
            digits.remove_prefix(1);
        }
        auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), exponent);
        if (error == std::errc::result_out_of_range) {
            return digits.front() != '-';
        }
    }
    auto firstDigit = mantissa.find_first_of("123456789");
    if (firstDigit == std::string_view::npos) {
        return false;  // zero, whatever its exponent
    }
    auto point = static_cast<long long>(std::min(mantissa.find('.'), mantissa.size()));
    auto first = static_cast<long long>(firstDigit);
    long long leadingPower = first < point ? point - first - 1 : point - first;
    return exponent + leadingPower >= 0;
}

// Builds the document from the parser's events into one arena. An integer that
// fits 64 bits is one, a longer one keeps its digits, anything with a fraction
// or an exponent is the nearest double. A number beyond the double range fails
// the parse; one too small for it is zero, as a double reader makes it.
class DocumentBuilder {
public:
    static constexpr std::size_t max_object_size = static_cast<std::size_t>(-1);
    static constexpr std::size_t max_array_size = static_cast<std::size_t>(-1);
    static constexpr std::size_t max_key_size = static_cast<std::size_t>(-1);
    static constexpr std::size_t max_string_size = static_cast<std::size_t>(-1);

    explicit DocumentBuilder(boost::json::storage_ptr memory) { stack_.reset(std::move(memory)); }

    ParsedValue release() { return stack_.release(); }

    bool on_document_begin(error_code&) { return true; }
    bool on_document_end(error_code&) { return true; }
    bool on_array_begin(error_code&) { return true; }
    bool on_array_end(std::size_t size, error_code&) {
        stack_.push_array(size);
        return true;
    }
    bool on_object_begin(error_code&) { return true; }
    // Of repeated keys the stack keeps only the last.
    bool on_object_end(std::size_t size, error_code&) {
        stack_.push_object(size);
        return true;
    }
    bool on_string_part(string_view part, std::size_t, error_code&) {
        stack_.push_chars(part);
        return true;
    }
    bool on_string(string_view last, std::size_t, error_code&) {
        stack_.push_string(last);
        return true;
    }
    bool on_key_part(string_view part, std::size_t, error_code&) {
        stack_.push_chars(part);
        return true;
    }
    bool on_key(string_view last, std::size_t, error_code&) {
        stack_.push_key(last);
        return true;
    }
    // The whole text is parsed in one call, so a number never comes in parts.
    bool on_number_part(string_view, error_code&) { return true; }
    bool on_int64(std::int64_t value, string_view, error_code&) {
        stack_.push_int64(value);
        return true;
    }
    bool on_uint64(std::uint64_t value, string_view, error_code&) {
        stack_.push_uint64(value);
        return true;
    }
    bool on_double(double, string_view text, error_code& error) {
        std::string_view number(text.data(), text.size());
        if (number.find_first_of(".eE") == std::string_view::npos) {
            std::string marked(1, kBigIntegerMark);
            marked.append(number);
            stack_.push_string(marked);
            return true;
        }
        double value = 0;
        fast_float::from_chars(number.data(), number.data() + number.size(), value);
        if (std::abs(value) > std::numeric_limits<double>::max() && isBeyondDoubleRange(number)) {
            error = boost::json::error::exponent_overflow;
            return false;
        }
        stack_.push_double(value);
        return true;
    }
    bool on_bool(bool value, error_code&) {
        stack_.push_bool(value);
        return true;
    }
    bool on_null(error_code&) {
        stack_.push_null();
        return true;
    }
    // Comments are refused by the options; these are never called.
    bool on_comment_part(string_view, error_code&) { return true; }
    bool on_comment(string_view, error_code&) { return true; }

private:
    boost::json::value_stack stack_;
};

Value toBuilt(const ParsedValue& v) {
    switch (v.kind()) {
    case boost::json::kind::null:
        return nullptr;
    case boost::json::kind::bool_:
        return v.get_bool();
    case boost::json::kind::string:
        if (isBigInteger(v)) {
            return bigInteger(bigIntegerText(v));
        }
        return std::string(stringOf(v.get_string()));
    case boost::json::kind::int64:
        return v.get_int64();
    case boost::json::kind::uint64:
        return v.get_uint64();
    case boost::json::kind::double_:
        return v.get_double();
    case boost::json::kind::array: {
        Value array = Value::array();
        for (const auto& element : v.get_array()) {
            array.push_back(toBuilt(element));
        }
        return array;
    }
    case boost::json::kind::object: {
        Value object = Value::object();
        for (const auto& member : v.get_object()) {
            object[std::string(member.key())] = toBuilt(member.value());
        }
        return object;
    }
    }
    return nullptr;
}

const ParsedValue& emptyObjectNode() {
    static const ParsedValue empty(boost::json::object_kind);
    return empty;
}

}  // namespace

bool View::isObject() const { return node(*this).is_object(); }
bool View::isArray() const { return node(*this).is_array(); }
bool View::isString() const { return node(*this).is_string() && !isBigInteger(node(*this)); }
bool View::isBool() const { return node(*this).is_bool(); }
bool View::isTrue() const { return node(*this).is_bool() && node(*this).get_bool(); }

std::optional<View> View::find(std::string_view key) const {
    const boost::json::object* object = node(*this).if_object();
    if (object == nullptr) {
        return std::nullopt;
    }
    auto found = object->find(string_view(key.data(), key.size()));
    if (found == object->end()) {
        return std::nullopt;
    }
    return ViewAccess::make(found->value());
}

std::optional<std::string_view> View::string() const {
    if (!isString()) {
        return std::nullopt;
    }
    return stringOf(node(*this).get_string());
}

std::size_t View::arraySize() const {
    const boost::json::array* array = node(*this).if_array();
    return array != nullptr ? array->size() : 0;
}

View View::at(std::size_t index) const { return ViewAccess::make(node(*this).get_array()[index]); }

Value View::toValue() const { return toBuilt(node(*this)); }

Document::Document() : data_(std::make_unique<DocumentData>()) {}
Document::Document(Document&&) noexcept = default;
Document& Document::operator=(Document&&) noexcept = default;
Document::~Document() = default;

View Document::root() const { return ViewAccess::make(*data_->root); }

void Document::narrowTo(View member) { data_->root = &ViewAccess::node(member); }

Document Document::emptyObject() {
    Document document;
    document.data_->root = &emptyObjectNode();
    return document;
}

std::optional<Document> parseStrict(std::string_view text) {
    boost::json::parse_options options;
    options.max_depth = kMaxDepth;
    Document document;
    boost::json::basic_parser<DocumentBuilder> parser(options, &document.data_->memory);
    error_code error;
    std::size_t used = parser.write_some(false, text.data(), text.size(), error);
    if (error || used != text.size()) {
        return std::nullopt;
    }
    document.data_->value = parser.handler().release();
    if (!document.data_->value.is_object() && !document.data_->value.is_array()) {
        return std::nullopt;
    }
    document.data_->root = &document.data_->value;
    return document;
}

}  // namespace quillbrook::json
