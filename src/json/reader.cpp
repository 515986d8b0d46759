#include <algorithm>
#include <charconv>
#include <cstring>

#include <rapidjson/reader.h>

#include "json/parsed_node.h"
#include "util/utf8.h"
#include "util/word_scan.h"

// RapidJSON reads: it parses several times faster than nlohmann::json, and its
// pooled document lets a large answer be re-written without copying it into
// Values. Numbers are taken from it as text and converted here with
// std::from_chars, which is exact: the library's own conversion loses the digits
// of long integers and misreads numbers near the end of the double range.

namespace quillbrook::json {

namespace {

const ParsedValue& node(View v) { return ViewAccess::node(v); }

std::optional<unsigned> hex4(const char* p) {
    unsigned value = 0;
    auto [end, error] = std::from_chars(p, p + 4, value, 16);
    if (error != std::errc() || end != p + 4) {
        return std::nullopt;
    }
    return value;
}

// RapidJSON leaves four things to us, checked in one cheap pass before it runs:
// a raw NUL would end its input early and hide trailing garbage; it does not
// validate UTF-8 quickly; it lets an escaped low surrogate stand alone (which
// would write invalid UTF-8); and deep nesting would exhaust the stack of every
// recursive reader and writer.
bool withinLimits(std::string_view text) {
    if (std::memchr(text.data(), '\0', text.size()) != nullptr || !utf8::isValid(text)) {
        return false;
    }
    std::size_t depth = 0;
    const char* p = text.data();
    const char* end = p + text.size();
    while (p < end) {
        switch (*p++) {
        case '"': {
            const char* highSurrogateEnd = nullptr;  // where a low surrogate escape may follow
            while (p < end && *p != '"') {
                if (static_cast<std::size_t>(end - p) >= word_scan::kWordBytes) {
                    std::uint64_t word = word_scan::load(p);
                    if (!word_scan::hasByte(word, '"') && !word_scan::hasByte(word, '\\')) {
                        p += word_scan::kWordBytes;
                        continue;
                    }
                }
                if (*p != '\\') {
                    ++p;
                    continue;
                }
                if (end - p >= 6 && p[1] == 'u') {
                    if (auto unit = hex4(p + 2)) {
                        if (*unit >= 0xDC00 && *unit <= 0xDFFF && highSurrogateEnd != p) {
                            return false;
                        }
                        highSurrogateEnd = (*unit >= 0xD800 && *unit <= 0xDBFF) ? p + 6 : nullptr;
                    }
                    p += 6;
                } else {
                    p += std::min<std::ptrdiff_t>(2, end - p);  // a text may end inside an escape
                }
            }
            p += (p < end) ? 1 : 0;
            break;
        }
        case '[':
        case '{':
            if (++depth > kMaxDepth) {
                return false;
            }
            break;
        case ']':
        case '}':
            if (depth > 0) {
                --depth;
            }
            break;
        default:
            break;
        }
    }
    return true;
}

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
    auto point = static_cast<long long>(std::min(mantissa.find('.'), mantissa.size()));
    auto firstDigit = static_cast<long long>(mantissa.find_first_of("123456789"));
    long long leadingPower = firstDigit < point ? point - firstDigit - 1 : point - firstDigit;
    return exponent + leadingPower >= 0;
}

// Builds the document from the reader's events, each number from its text: an
// integer that fits 64 bits as one, a longer one as its digits, anything with a
// fraction or an exponent as the nearest double. A number beyond the double range
// fails the parse; one too small for it is zero, as a double reader makes it.
class DocumentBuilder {
public:
    explicit DocumentBuilder(rapidjson::Document& doc) : doc_(doc) {}

    bool RawNumber(const char* text, rapidjson::SizeType length, bool /*copy*/) {
        const char* end = text + length;
        std::string_view number(text, length);
        if (number.find_first_of(".eE") == std::string_view::npos) {
            std::int64_t signedValue = 0;
            if (auto [stop, error] = std::from_chars(text, end, signedValue); error == std::errc() && stop == end) {
                return doc_.Int64(signedValue);
            }
            std::uint64_t unsignedValue = 0;
            if (auto [stop, error] = std::from_chars(text, end, unsignedValue); error == std::errc() && stop == end) {
                return doc_.Uint64(unsignedValue);
            }
            std::string marked(1, kBigIntegerMark);
            marked.append(number);
            return doc_.String(marked.data(), static_cast<rapidjson::SizeType>(marked.size()), true);
        }
        double value = 0;
        auto [stop, error] = std::from_chars(text, end, value);
        if (error == std::errc() && stop == end) {
            return doc_.Double(value);
        }
        if (error == std::errc::result_out_of_range && !isBeyondDoubleRange(number)) {
            return doc_.Double(number.front() == '-' ? -0.0 : 0.0);
        }
        return false;
    }

    // The reader hands over every number as text, so these are never called.
    bool Int(int i) { return doc_.Int(i); }
    bool Uint(unsigned i) { return doc_.Uint(i); }
    bool Int64(std::int64_t i) { return doc_.Int64(i); }
    bool Uint64(std::uint64_t i) { return doc_.Uint64(i); }
    bool Double(double d) { return doc_.Double(d); }

    bool Null() { return doc_.Null(); }
    bool Bool(bool b) { return doc_.Bool(b); }
    bool String(const char* s, rapidjson::SizeType length, bool copy) { return doc_.String(s, length, copy); }
    bool StartObject() { return doc_.StartObject(); }
    bool Key(const char* s, rapidjson::SizeType length, bool copy) { return doc_.Key(s, length, copy); }
    bool EndObject(rapidjson::SizeType members) { return doc_.EndObject(members); }
    bool StartArray() { return doc_.StartArray(); }
    bool EndArray(rapidjson::SizeType elements) { return doc_.EndArray(elements); }

private:
    rapidjson::Document& doc_;
};

// Parses `text` in place into `doc`; the reader's events build it.
bool parseInto(rapidjson::Document& doc, char* text) {
    constexpr unsigned kFlags = rapidjson::kParseInsituFlag | rapidjson::kParseNumbersAsStringsFlag;
    bool parsed = false;
    auto parse = [&](rapidjson::Document& handler) {
        DocumentBuilder builder(handler);
        rapidjson::InsituStringStream stream(text);
        parsed = !rapidjson::Reader().Parse<kFlags>(stream, builder).IsError();
        return parsed;
    };
    doc.Populate(parse);
    return parsed;
}

Value toBuilt(const ParsedValue& v) {
    switch (v.GetType()) {
    case rapidjson::kNullType:
        return nullptr;
    case rapidjson::kFalseType:
        return false;
    case rapidjson::kTrueType:
        return true;
    case rapidjson::kStringType:
        if (isBigInteger(v)) {
            return bigInteger(bigIntegerText(v));
        }
        return std::string(stringOf(v));
    case rapidjson::kNumberType:
        if (v.IsInt64()) {
            return v.GetInt64();
        }
        if (v.IsUint64()) {
            return v.GetUint64();
        }
        return v.GetDouble();
    case rapidjson::kArrayType: {
        Value array = Value::array();
        for (const auto& element : v.GetArray()) {
            array.push_back(toBuilt(element));
        }
        return array;
    }
    case rapidjson::kObjectType: {
        Value object = Value::object();
        for (const auto& member : v.GetObject()) {
            object[std::string(stringOf(member.name))] = toBuilt(member.value);
        }
        return object;
    }
    }
    return nullptr;
}

const ParsedValue& emptyObjectNode() {
    static const ParsedValue empty(rapidjson::kObjectType);
    return empty;
}

}  // namespace

bool View::isObject() const { return node(*this).IsObject(); }
bool View::isArray() const { return node(*this).IsArray(); }
bool View::isString() const { return node(*this).IsString() && !isBigInteger(node(*this)); }
bool View::isBool() const { return node(*this).IsBool(); }
bool View::isTrue() const { return node(*this).IsTrue(); }

std::optional<View> View::find(std::string_view key) const {
    const ParsedValue& v = node(*this);
    if (!v.IsObject()) {
        return std::nullopt;
    }
    const ParsedValue* found = nullptr;
    for (const auto& member : v.GetObject()) {
        if (stringOf(member.name) == key) {
            found = &member.value;
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
    return stringOf(node(*this));
}

std::size_t View::arraySize() const {
    const ParsedValue& v = node(*this);
    return v.IsArray() ? v.Size() : 0;
}

View View::at(std::size_t index) const {
    return ViewAccess::make(node(*this)[static_cast<rapidjson::SizeType>(index)]);
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

std::optional<Document> parseStrict(std::string_view text) {
    if (!withinLimits(text)) {
        return std::nullopt;
    }
    Document document;
    document.data_->text.assign(text);
    rapidjson::Document& doc = document.data_->doc;
    if (!parseInto(doc, document.data_->text.data()) || !(doc.IsObject() || doc.IsArray())) {
        return std::nullopt;
    }
    document.data_->root = &doc;
    return document;
}

}  // namespace quillbrook::json
