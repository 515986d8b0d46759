#include "json/json.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <deque>
#include <vector>

#include <rapidjson/document.h>

#include "util/utf8.h"

// RapidJSON reads: it parses several times faster than nlohmann::json, and its
// pooled document lets a large answer be re-written without copying it into
// Values. nlohmann::json stays the type for values the program builds.

namespace quillbrook::json {

struct DocumentData {
    std::string text;  // parsed in place: the document's strings point into it
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

// Eight bytes at a time: the text of the common case (ASCII without anything to
// escape) is skipped word by word instead of byte by byte.
constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;

std::uint64_t load8(const char* p) {
    std::uint64_t word;
    std::memcpy(&word, p, sizeof word);
    return word;
}

bool hasZeroByte(std::uint64_t word) { return ((word - kOnes) & ~word & kHighBits) != 0; }
bool hasByte(std::uint64_t word, unsigned char byte) { return hasZeroByte(word ^ (kOnes * byte)); }
bool hasByteBelow(std::uint64_t word, unsigned char bound) { return ((word - kOnes * bound) & ~word & kHighBits) != 0; }

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
                if (end - p >= 8) {
                    std::uint64_t word = load8(p);
                    if (!hasByte(word, '"') && !hasByte(word, '\\')) {
                        p += 8;
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

// A growing output buffer written through raw pointers: the writer asks for room
// for the worst case once per token instead of checking capacity per byte.
class Output {
public:
    char* room(std::size_t bytes) {
        if (used_ + bytes > buffer_.size()) {
            buffer_.resize(std::max(buffer_.size() * 2, used_ + bytes + 4096));
        }
        return buffer_.data() + used_;
    }
    void commit(const char* end) { used_ = static_cast<std::size_t>(end - buffer_.data()); }
    void append(std::string_view text) {
        char* at = room(text.size());
        std::memcpy(at, text.data(), text.size());
        commit(at + text.size());
    }
    void put(char c) {
        *room(1) = c;
        ++used_;
    }
    std::string take() {
        buffer_.resize(used_);
        return std::move(buffer_);
    }

private:
    std::string buffer_;
    std::size_t used_ = 0;
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
        return out_.take();
    }

private:
    struct Member {
        std::string_view key;
        const RValue* value;
    };

    void newline(std::size_t depth) {
        if (pretty_) {
            char* at = out_.room(1 + depth * 2);
            *at = '\n';
            std::memset(at + 1, ' ', depth * 2);
            out_.commit(at + 1 + depth * 2);
        }
    }

    static char* escapeByte(char* at, unsigned char c) {
        static constexpr char kHex[] = "0123456789abcdef";
        char escape = kEscapes[c];
        if (escape == 0) {
            *at++ = static_cast<char>(c);
            return at;
        }
        *at++ = '\\';
        *at++ = escape;
        if (escape == 'u') {
            *at++ = '0';
            *at++ = '0';
            *at++ = kHex[c >> 4];
            *at++ = kHex[c & 0xF];
        }
        return at;
    }

    // Escapes `s` to `at`, which has room for six bytes a byte.
    static char* escapeRun(char* at, std::string_view s) {
        const char* p = s.data();
        const char* end = p + s.size();
        while (end - p >= 8) {
            std::uint64_t word = load8(p);
            if (!hasByteBelow(word, 0x20) && !hasByte(word, '"') && !hasByte(word, '\\') && !hasByte(word, '/')) {
                std::memcpy(at, p, 8);
                at += 8;
                p += 8;
                continue;
            }
            for (const char* stop = p + 8; p < stop; ++p) {
                at = escapeByte(at, static_cast<unsigned char>(*p));
            }
        }
        for (; p < end; ++p) {
            at = escapeByte(at, static_cast<unsigned char>(*p));
        }
        return at;
    }

    void writeString(std::string_view s) {
        // Room is asked for the worst case, six bytes a byte; a long string is
        // escaped a slice at a time so that the buffer stays near its final
        // size (a 1 MiB text would otherwise reserve and touch 6 MiB).
        constexpr std::size_t kSlice = 16 * 1024;
        char* at = out_.room(std::min(s.size(), kSlice) * 6 + 2);
        *at++ = '"';
        for (;;) {
            std::string_view slice = s.substr(0, kSlice);
            s.remove_prefix(slice.size());
            at = escapeRun(at, slice);
            if (s.empty()) {
                break;
            }
            out_.commit(at);
            at = out_.room(std::min(s.size(), kSlice) * 6 + 1);
        }
        *at++ = '"';
        out_.commit(at);
    }

    template <typename Int>
    void writeInteger(Int n) {
        char* at = out_.room(24);
        out_.commit(std::to_chars(at, at + 24, n).ptr);
    }

    void writeDouble(double d) {
        if (!std::isfinite(d)) {
            ok_ = false;
            return;
        }
        char* at = out_.room(32);
        char* end = std::to_chars(at, at + 30, d).ptr;
        // Keep a fractional number recognisable as one after the round trip.
        if (std::find_if(at, end, [](char c) { return c == '.' || c == 'e'; }) == end) {
            *end++ = '.';
            *end++ = '0';
        }
        out_.commit(end);
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

    static void sortByKey(std::vector<Member>& members) {
        auto byKey = [](const Member& a, const Member& b) { return a.key < b.key; };
        // Agent objects are small: insertion sort beats the general one there.
        if (members.size() > 24) {
            std::stable_sort(members.begin(), members.end(), byKey);
            return;
        }
        for (std::size_t i = 1; i < members.size(); ++i) {
            Member moving = members[i];
            std::size_t j = i;
            for (; j > 0 && byKey(moving, members[j - 1]); --j) {
                members[j] = members[j - 1];
            }
            members[j] = moving;
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
        sortByKey(members);
        // Of repeated keys only the last occurrence counts, as when reading.
        auto last = std::unique(members.rbegin(), members.rend(),
                                [](const Member& a, const Member& b) { return a.key == b.key; });
        members.erase(members.begin(), last.base());
        // Writing nested objects uses deeper scratch rows, never this one.
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
            if (!utf8::isValid(s)) {
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
                if (!utf8::isValid(key)) {
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
        out_.put('[');
        bool first = true;
        for (auto it = begin; it != end && ok_; ++it) {
            if (!first) {
                out_.put(',');
            }
            first = false;
            newline(depth + 1);
            writeValue(toNode(*it), depth + 1);
        }
        if (!first) {
            newline(depth);
        }
        out_.put(']');
    }

    template <typename It, typename ToPair>
    void writeObject(It begin, It end, std::size_t depth, ToPair toPair) {
        out_.put('{');
        bool first = true;
        for (auto it = begin; it != end && ok_; ++it) {
            if (!first) {
                out_.put(',');
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
        out_.put('}');
    }

    bool pretty_;
    bool ok_ = true;
    Output out_;
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
    document.data_->text.assign(text);
    rapidjson::Document& doc = document.data_->doc;
    doc.ParseInsitu<rapidjson::kParseFullPrecisionFlag>(document.data_->text.data());
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
