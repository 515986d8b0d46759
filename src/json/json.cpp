#include "json/json.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <deque>
#include <vector>

#include <rapidjson/document.h>

// RapidJSON reads: it parses several times faster than nlohmann::json, and its
// pooled document lets a large answer be re-written without copying it into
// Values. nlohmann::json stays the type for values the program builds.

namespace quillbrook::json {

struct DocumentData {
    rapidjson::Document doc;
    const rapidjson::Value* root = nullptr;
};

struct ViewAccess {
    static const rapidjson::Value& node(View v) { return *static_cast<const rapidjson::Value*>(v.node_); }
    static View make(const rapidjson::Value& n) { return View(&n); }
};

namespace {

using RValue = rapidjson::Value;

const RValue& node(View v) { return ViewAccess::node(v); }

std::string_view stringOf(const RValue& v) { return {v.GetString(), v.GetStringLength()}; }

// A raw NUL would end RapidJSON's input early and hide trailing garbage, and
// deep nesting would exhaust the stack of every recursive reader and writer;
// one cheap pass refuses both before the real parse.
bool withinLimits(std::string_view text) {
    if (std::memchr(text.data(), '\0', text.size()) != nullptr) {
        return false;
    }
    std::size_t depth = 0;
    const char* p = text.data();
    const char* end = p + text.size();
    while (p < end) {
        switch (*p++) {
        case '"':
            while (p < end && *p != '"') {
                p += (*p == '\\') ? 2 : 1;
            }
            ++p;
            break;
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

bool isValidUtf8(std::string_view s) {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const auto* end = p + s.size();
    while (p < end) {
        unsigned char c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        int extra;
        std::uint32_t cp;
        if ((c & 0xE0) == 0xC0) {
            extra = 1;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (end - p <= extra) {
            return false;
        }
        for (int i = 1; i <= extra; ++i) {
            if ((p[i] & 0xC0) != 0x80) {
                return false;
            }
            cp = (cp << 6) | (p[i] & 0x3F);
        }
        static constexpr std::array<std::uint32_t, 4> kMinimum = {0, 0x80, 0x800, 0x10000};
        if (cp < kMinimum[static_cast<std::size_t>(extra)] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            return false;
        }
        p += extra + 1;
    }
    return true;
}

// The escape written for each byte, or 0 when the byte is written as it is.
constexpr std::array<char, 256> makeEscapes() {
    std::array<char, 256> table{};
    for (int c = 0; c < 0x20; ++c) {
        table[static_cast<std::size_t>(c)] = 'u';
    }
    table['\b'] = 'b';
    table['\f'] = 'f';
    table['\n'] = 'n';
    table['\r'] = 'r';
    table['\t'] = 't';
    table['"'] = '"';
    table['\\'] = '\\';
    table['/'] = '/';
    return table;
}
constexpr std::array<char, 256> kEscapes = makeEscapes();

// What the writer needs of a parsed value.
struct ParsedNode {
    const RValue& v;
};

// What the writer needs of a built value.
struct BuiltNode {
    const Value& v;
};

class Writer {
public:
    explicit Writer(bool pretty) : pretty_(pretty) {}

    template <typename Node>
    std::optional<std::string> write(const Node& root) {
        writeValue(root, 0);
        if (!ok_) {
            return std::nullopt;
        }
        return std::move(out_);
    }

private:
    struct Member {
        std::string_view key;
        const RValue* value;
    };

    void newline(std::size_t depth) {
        if (pretty_) {
            out_.push_back('\n');
            out_.append(depth * 2, ' ');
        }
    }

    void writeString(std::string_view s) {
        out_.push_back('"');
        const char* p = s.data();
        const char* end = p + s.size();
        const char* run = p;
        for (; p < end; ++p) {
            char escape = kEscapes[static_cast<unsigned char>(*p)];
            if (escape == 0) {
                continue;
            }
            out_.append(run, static_cast<std::size_t>(p - run));
            run = p + 1;
            out_.push_back('\\');
            out_.push_back(escape);
            if (escape == 'u') {
                static constexpr char kHex[] = "0123456789abcdef";
                auto c = static_cast<unsigned char>(*p);
                out_.append("00");
                out_.push_back(kHex[c >> 4]);
                out_.push_back(kHex[c & 0xF]);
            }
        }
        out_.append(run, static_cast<std::size_t>(end - run));
        out_.push_back('"');
    }

    template <typename Int>
    void writeInteger(Int n) {
        char buf[32];
        auto result = std::to_chars(buf, buf + sizeof buf, n);
        out_.append(buf, result.ptr);
    }

    void writeDouble(double d) {
        if (!std::isfinite(d)) {
            ok_ = false;
            return;
        }
        char buf[64];
        auto result = std::to_chars(buf, buf + sizeof buf, d);
        std::string_view text(buf, static_cast<std::size_t>(result.ptr - buf));
        out_.append(text);
        // Keep a fractional number recognisable as one after the round trip.
        if (text.find_first_of(".e") == std::string_view::npos) {
            out_.append(".0");
        }
    }

    void writeValue(ParsedNode n, std::size_t depth) {
        const RValue& v = n.v;
        switch (v.GetType()) {
        case rapidjson::kNullType:
            out_.append("null");
            break;
        case rapidjson::kFalseType:
            out_.append("false");
            break;
        case rapidjson::kTrueType:
            out_.append("true");
            break;
        case rapidjson::kStringType:
            writeString(stringOf(v));
            break;
        case rapidjson::kNumberType:
            if (v.IsInt64()) {
                writeInteger(v.GetInt64());
            } else if (v.IsUint64()) {
                writeInteger(v.GetUint64());
            } else {
                writeDouble(v.GetDouble());
            }
            break;
        case rapidjson::kArrayType:
            writeArray(v.Begin(), v.End(), depth, [](const RValue& e) { return ParsedNode{e}; });
            break;
        case rapidjson::kObjectType:
            writeParsedObject(v, depth);
            break;
        }
    }

    void writeParsedObject(const RValue& v, std::size_t depth) {
        if (scratch_.size() <= depth) {
            scratch_.resize(depth + 1);  // A deque: rows already in use stay where they are.
        }
        std::vector<Member>& members = scratch_[depth];
        members.clear();
        for (auto it = v.MemberBegin(); it != v.MemberEnd(); ++it) {
            members.push_back({stringOf(it->name), &it->value});
        }
        std::stable_sort(members.begin(), members.end(),
                         [](const Member& a, const Member& b) { return a.key < b.key; });
        // Of repeated keys only the last occurrence counts, as when reading.
        auto last = std::unique(members.rbegin(), members.rend(),
                                [](const Member& a, const Member& b) { return a.key == b.key; });
        members.erase(members.begin(), last.base());
        // Writing nested objects reuses deeper scratch rows, never this one.
        writeObject(members.begin(), members.end(), depth,
                    [](const Member& m) { return std::pair{m.key, ParsedNode{*m.value}}; });
    }

    void writeValue(BuiltNode n, std::size_t depth) {
        const Value& v = n.v;
        switch (v.type()) {
        case Value::value_t::null:
            out_.append("null");
            break;
        case Value::value_t::boolean:
            out_.append(v.get<bool>() ? "true" : "false");
            break;
        case Value::value_t::string: {
            const auto& s = v.get_ref<const std::string&>();
            if (!isValidUtf8(s)) {
                ok_ = false;
                return;
            }
            writeString(s);
            break;
        }
        case Value::value_t::number_integer:
            writeInteger(v.get<std::int64_t>());
            break;
        case Value::value_t::number_unsigned:
            writeInteger(v.get<std::uint64_t>());
            break;
        case Value::value_t::number_float:
            writeDouble(v.get<double>());
            break;
        case Value::value_t::array:
            writeArray(v.begin(), v.end(), depth, [](const Value& e) { return BuiltNode{e}; });
            break;
        case Value::value_t::object: {
            // nlohmann keeps object keys unique and in byte order already.
            const auto& object = v.get_ref<const Value::object_t&>();
            for (const auto& [key, unused] : object) {
                if (!isValidUtf8(key)) {
                    ok_ = false;
                    return;
                }
            }
            writeObject(object.begin(), object.end(), depth, [](const auto& member) {
                return std::pair{std::string_view(member.first), BuiltNode{member.second}};
            });
            break;
        }
        case Value::value_t::binary:
        case Value::value_t::discarded:
            ok_ = false;
            break;
        }
    }

    template <typename It, typename ToNode>
    void writeArray(It begin, It end, std::size_t depth, ToNode toNode) {
        out_.push_back('[');
        bool first = true;
        for (auto it = begin; it != end && ok_; ++it) {
            if (!first) {
                out_.push_back(',');
            }
            first = false;
            newline(depth + 1);
            writeValue(toNode(*it), depth + 1);
        }
        if (!first) {
            newline(depth);
        }
        out_.push_back(']');
    }

    template <typename It, typename ToPair>
    void writeObject(It begin, It end, std::size_t depth, ToPair toPair) {
        out_.push_back('{');
        bool first = true;
        for (auto it = begin; it != end && ok_; ++it) {
            if (!first) {
                out_.push_back(',');
            }
            first = false;
            newline(depth + 1);
            auto [key, value] = toPair(*it);
            writeString(key);
            out_.append(pretty_ ? ": " : ":");
            writeValue(value, depth + 1);
        }
        if (!first) {
            newline(depth);
        }
        out_.push_back('}');
    }

    bool pretty_;
    bool ok_ = true;
    std::string out_;
    std::deque<std::vector<Member>> scratch_;
};

Value toBuilt(const RValue& v) {
    switch (v.GetType()) {
    case rapidjson::kNullType:
        return nullptr;
    case rapidjson::kFalseType:
        return false;
    case rapidjson::kTrueType:
        return true;
    case rapidjson::kStringType:
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

const RValue& emptyObjectNode() {
    static const RValue empty(rapidjson::kObjectType);
    return empty;
}

}  // namespace

bool View::isObject() const { return node(*this).IsObject(); }
bool View::isArray() const { return node(*this).IsArray(); }
bool View::isString() const { return node(*this).IsString(); }
bool View::isBool() const { return node(*this).IsBool(); }
bool View::isTrue() const { return node(*this).IsTrue(); }

std::optional<View> View::find(std::string_view key) const {
    const RValue& v = node(*this);
    if (!v.IsObject()) {
        return std::nullopt;
    }
    const RValue* found = nullptr;
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
    const RValue& v = node(*this);
    if (!v.IsString()) {
        return std::nullopt;
    }
    return stringOf(v);
}

std::size_t View::arraySize() const {
    const RValue& v = node(*this);
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
    rapidjson::Document& doc = document.data_->doc;
    doc.Parse<rapidjson::kParseFullPrecisionFlag | rapidjson::kParseValidateEncodingFlag>(text.data(), text.size());
    if (doc.HasParseError() || !(doc.IsObject() || doc.IsArray())) {
        return std::nullopt;
    }
    document.data_->root = &doc;
    return document;
}

std::optional<std::string> writeRequest(const Value& value) { return Writer(false).write(BuiltNode{value}); }

std::optional<std::string> writePrettySorted(View value) {
    Writer writer(true);
    return writer.write(ParsedNode{node(value)});
}

std::optional<std::string> writePrettySorted(const Value& value) { return Writer(true).write(BuiltNode{value}); }

std::optional<std::string> writeCompactSorted(View value) { return Writer(false).write(ParsedNode{node(value)}); }

std::optional<std::string> writeCompactSorted(const Value& value) { return Writer(false).write(BuiltNode{value}); }

}  // namespace quillbrook::json
