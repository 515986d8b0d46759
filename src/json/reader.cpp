#include <algorithm>
#include <charconv>
#include <cstdint>

#include <cmath>
#include <limits>

#include <fast_float/fast_float.h>
#include <boost/json/basic_parser_impl.hpp>

#include "json/parsed_node.h"

// Boost.JSON reads, in one pass: it validates UTF-8 and escapes, refuses raw
// control characters (a NUL among them), lone surrogates, trailing data and
// nesting past a limit as it goes. Numbers are taken from it as text where it
// would lose them: integers past 64 bits keep their digits, and fractions are
// converted with fast_float, which is exact where the library's own conversion
// may be off by one unit in the last place.

namespace quillbrook::json {

namespace {

const Node& node(View v) { return ViewAccess::node(v); }

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

// Builds the document's nodes from the parser's events. An integer that fits 64
// bits is one, a longer one keeps its digits, anything with a fraction or an
// exponent is the nearest double. A number beyond the double range fails the
// parse; one too small for it is zero, as a double reader makes it.
class DocumentBuilder {
public:
    static constexpr std::size_t max_object_size = static_cast<std::size_t>(-1);
    static constexpr std::size_t max_array_size = static_cast<std::size_t>(-1);
    static constexpr std::size_t max_key_size = static_cast<std::size_t>(-1);
    static constexpr std::size_t max_string_size = static_cast<std::size_t>(-1);

    explicit DocumentBuilder(DocumentData& data) : data_(data), unescapedEnd_(data.unescaped.get()) {}

    bool on_document_begin(error_code&) { return true; }
    bool on_document_end(error_code&) { return true; }
    bool on_array_begin(error_code&) { return open(Kind::array); }
    bool on_array_end(std::size_t elements, error_code&) { return close(elements); }
    bool on_object_begin(error_code&) { return open(Kind::object); }
    bool on_object_end(std::size_t members, error_code&) { return close(members); }
    bool on_string_part(string_view part, std::size_t, error_code&) { return appendPart(part); }
    bool on_string(string_view last, std::size_t, error_code&) { return addText(Kind::string, last); }
    bool on_key_part(string_view part, std::size_t, error_code&) { return appendPart(part); }
    bool on_key(string_view last, std::size_t, error_code&) { return addText(Kind::string, last); }
    // The whole text is parsed in one call, so a number never comes in parts.
    bool on_number_part(string_view, error_code&) { return true; }
    bool on_int64(std::int64_t value, string_view, error_code&) {
        data_.nodes.emplace_back().kind = Kind::int64;
        data_.nodes.back().int64 = value;
        return true;
    }
    bool on_uint64(std::uint64_t value, string_view, error_code&) {
        data_.nodes.emplace_back().kind = Kind::uint64;
        data_.nodes.back().uint64 = value;
        return true;
    }
    bool on_double(double, string_view text, error_code& error) {
        std::string_view number(text.data(), text.size());
        if (number.find_first_of(".eE") == std::string_view::npos) {
            return addText(Kind::bigInteger, text);
        }
        double value = 0;
        fast_float::from_chars(number.data(), number.data() + number.size(), value);
        if (std::abs(value) > std::numeric_limits<double>::max() && isBeyondDoubleRange(number)) {
            error = boost::json::error::exponent_overflow;
            return false;
        }
        data_.nodes.emplace_back().kind = Kind::real;
        data_.nodes.back().real = value;
        return true;
    }
    bool on_bool(bool value, error_code&) {
        data_.nodes.emplace_back().kind = value ? Kind::trueValue : Kind::falseValue;
        return true;
    }
    bool on_null(error_code&) {
        data_.nodes.emplace_back().kind = Kind::null;
        return true;
    }
    // Comments are refused by the options; these are never called.
    bool on_comment_part(string_view, error_code&) { return true; }
    bool on_comment(string_view, error_code&) { return true; }

private:
    bool open(Kind kind) {
        openContainers_.push_back(data_.nodes.size());
        data_.nodes.emplace_back().kind = kind;
        return true;
    }

    bool close(std::size_t children) {
        Node& container = data_.nodes[openContainers_.back()];
        container.length = static_cast<std::uint32_t>(children);
        container.subtreeNodes = data_.nodes.size() - openContainers_.back();
        openContainers_.pop_back();
        return true;
    }

    bool appendPart(string_view part) {
        if (partsStart_ == nullptr) {
            partsStart_ = unescapedEnd_;
        }
        unescapedEnd_ = std::copy(part.begin(), part.end(), unescapedEnd_);
        return true;
    }

    // A string or number text that lies in the input is used where it is; one
    // that came in parts or from the parser's own buffer is kept unescaped.
    bool addText(Kind kind, string_view last) {
        const std::string& input = data_.text;
        bool inInput = last.data() >= input.data() && last.data() + last.size() <= input.data() + input.size();
        if (partsStart_ != nullptr || !inInput) {
            appendPart(last);
            last = string_view(partsStart_, static_cast<std::size_t>(unescapedEnd_ - partsStart_));
            partsStart_ = nullptr;
        }
        Node& node = data_.nodes.emplace_back();
        node.kind = kind;
        node.length = static_cast<std::uint32_t>(last.size());
        node.text = last.data();
        return true;
    }

    DocumentData& data_;
    char* unescapedEnd_;
    char* partsStart_ = nullptr;  // where the string being assembled from parts starts
    std::vector<std::size_t> openContainers_;
};

Value toBuilt(const Node& n) {
    switch (n.kind) {
    case Kind::falseValue:
        return false;
    case Kind::trueValue:
        return true;
    case Kind::string:
        return n.string();
    case Kind::bigInteger:
        return Value::bigInteger(n.string());
    case Kind::int64:
        return n.int64;
    case Kind::uint64:
        return n.uint64;
    case Kind::real:
        return n.real;
    case Kind::array: {
        Value::Array array;
        array.reserve(n.length);
        const Node* element = &n + 1;
        for (std::uint32_t i = 0; i < n.length; ++i, element = element->next()) {
            array.push_back(toBuilt(*element));
        }
        return Value::fromArray(std::move(array));
    }
    case Kind::object: {
        Value::Object members;
        members.reserve(n.length);
        const Node* key = &n + 1;
        for (std::uint32_t i = 0; i < n.length; ++i, key = (key + 1)->next()) {
            members.emplace_back(std::string(key->string()), toBuilt(*(key + 1)));
        }
        return Value::fromObject(std::move(members));
    }
    default:
        return nullptr;
    }
}

const Node& emptyObjectNode() {
    static const Node empty = [] {
        Node node;
        node.kind = Kind::object;
        node.subtreeNodes = 1;
        return node;
    }();
    return empty;
}

}  // namespace

Kind View::kind() const { return node(*this).kind; }
bool View::isNull() const { return node(*this).kind == Kind::null; }
std::int64_t View::int64() const { return node(*this).int64; }
std::uint64_t View::uint64() const { return node(*this).uint64; }
double View::real() const { return node(*this).real; }

std::optional<std::string_view> View::bigIntegerDigits() const {
    if (node(*this).kind != Kind::bigInteger) {
        return std::nullopt;
    }
    return node(*this).string();
}

bool View::isObject() const { return node(*this).kind == Kind::object; }
bool View::isArray() const { return node(*this).kind == Kind::array; }
bool View::isString() const { return node(*this).kind == Kind::string; }
bool View::isBool() const { return isTrue() || node(*this).kind == Kind::falseValue; }
bool View::isTrue() const { return node(*this).kind == Kind::trueValue; }

std::optional<View> View::find(std::string_view key) const {
    const Node& object = node(*this);
    if (object.kind != Kind::object) {
        return std::nullopt;
    }
    // Of repeated keys the last counts.
    const Node* found = nullptr;
    const Node* member = &object + 1;
    for (std::uint32_t i = 0; i < object.length; ++i, member = (member + 1)->next()) {
        if (member->string() == key) {
            found = member + 1;
        }
    }
    if (found == nullptr) {
        return std::nullopt;
    }
    return ViewAccess::make(*found);
}

std::optional<std::string_view> View::string() const {
    if (!isString()) {
        return std::nullopt;
    }
    return node(*this).string();
}

std::size_t View::arraySize() const { return isArray() ? node(*this).length : 0; }

View View::at(std::size_t index) const {
    const Node* element = &node(*this) + 1;
    for (std::size_t i = 0; i < index; ++i) {
        element = element->next();
    }
    return ViewAccess::make(*element);
}

std::vector<View> View::elements() const {
    std::vector<View> elements;
    const Node& array = node(*this);
    if (array.kind != Kind::array) {
        return elements;
    }
    elements.reserve(array.length);
    const Node* element = &array + 1;
    for (std::uint32_t i = 0; i < array.length; ++i, element = element->next()) {
        elements.push_back(ViewAccess::make(*element));
    }
    return elements;
}

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

std::optional<Document> parseStrict(std::string_view text) { return parseStrictInPlace(std::string(text)); }

std::optional<Document> parseStrictInPlace(std::string text) {
    // Node lengths are 32 bits; no answer or message comes near that.
    if (text.size() >= std::numeric_limits<std::uint32_t>::max()) {
        return std::nullopt;
    }
    Document document;
    DocumentData& data = *document.data_;
    data.text = std::move(text);
    data.unescaped = std::make_unique_for_overwrite<char[]>(data.text.size());
    // About one node for every eight bytes of a typical answer.
    data.nodes.reserve(data.text.size() / 8 + 16);

    boost::json::parse_options options;
    options.max_depth = kMaxDepth;
    boost::json::basic_parser<DocumentBuilder> parser(options, data);
    error_code error;
    std::size_t used = parser.write_some(false, data.text.data(), data.text.size(), error);
    if (error || used != data.text.size() || !data.nodes.front().isContainer()) {
        return std::nullopt;
    }
    data.root = data.nodes.data();
    return document;
}

}  // namespace quillbrook::json
