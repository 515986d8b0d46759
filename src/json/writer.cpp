#include "json/writer.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <deque>
#include <vector>

#include "json/parsed_node.h"
#include "util/utf8.h"
#include "util/word_scan.h"

// Written by hand rather than with a library's writer: neither RapidJSON's nor
// nlohmann's sorts keys and keeps the last of repeated ones without copying the
// document, escapes the solidus, and writes long integers back digit for digit.

namespace quillbrook::json {

namespace {

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
    const ParsedValue& v;
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
    // Long strings are escaped a slice at a time (see writeString).
    static constexpr std::size_t kSliceBytes = 16 * 1024;

    explicit Writer(bool pretty) : pretty_(pretty) {}

    template <typename Node>
    std::string write(const Node& root) {
        writeValue(root, 0);
        return out_.take();
    }

    // Whether a built value held something that cannot be written.
    bool failed() const { return !ok_; }

private:
    struct Member {
        std::string_view key;
        const ParsedValue* value;
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
        using namespace word_scan;
        const char* p = s.data();
        const char* end = p + s.size();
        while (static_cast<std::size_t>(end - p) >= kWordBytes) {
            std::uint64_t word = load(p);
            if (!hasByteBelow(word, 0x20) && !hasByte(word, '"') && !hasByte(word, '\\') && !hasByte(word, '/')) {
                std::memcpy(at, p, kWordBytes);
                at += kWordBytes;
                p += kWordBytes;
                continue;
            }
            for (const char* stop = p + kWordBytes; p < stop; ++p) {
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
        char* at = out_.room(std::min(s.size(), kSliceBytes) * 6 + 2);
        *at++ = '"';
        for (;;) {
            std::string_view slice = s.substr(0, kSliceBytes);
            s.remove_prefix(slice.size());
            at = escapeRun(at, slice);
            if (s.empty()) {
                break;
            }
            out_.commit(at);
            at = out_.room(std::min(s.size(), kSliceBytes) * 6 + 1);
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
        const ParsedValue& v = n.v;
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
            if (isBigInteger(v)) {
                out_.append(bigIntegerText(v));
            } else {
                writeString(stringOf(v));
            }
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
            writeContainer('[', ']', v.Begin(), v.End(), depth,
                           [&](const ParsedValue& element) { writeValue(ParsedNode{element}, depth + 1); });
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

    void writeParsedObject(const ParsedValue& v, std::size_t depth) {
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
        writeContainer('{', '}', members.begin(), members.end(), depth, [&](const Member& member) {
            writeMember(member.key, ParsedNode{*member.value}, depth);
        });
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
        case Value::value_t::string:
            writeBuiltString(v.get_ref<const std::string&>());
            break;
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
            writeContainer('[', ']', v.begin(), v.end(), depth,
                           [&](const Value& element) { writeValue(BuiltNode{element}, depth + 1); });
            break;
        case Value::value_t::object: {
            // nlohmann keeps object keys unique and in byte order already.
            const auto& object = v.get_ref<const Value::object_t&>();
            writeContainer('{', '}', object.begin(), object.end(), depth, [&](const auto& member) {
                writeMember(member.first, BuiltNode{member.second}, depth);
            });
            break;
        }
        case Value::value_t::binary:
            if (auto digits = bigIntegerDigits(v)) {
                out_.append(*digits);
            } else {
                ok_ = false;
            }
            break;
        case Value::value_t::discarded:
            ok_ = false;
            break;
        }
    }

    void writeBuiltString(std::string_view s) {
        if (!utf8::isValid(s)) {
            ok_ = false;
            return;
        }
        writeString(s);
    }

    void writeKey(std::string_view key, ParsedNode) { writeString(key); }
    void writeKey(std::string_view key, BuiltNode) { writeBuiltString(key); }

    template <typename Node>
    void writeMember(std::string_view key, Node value, std::size_t depth) {
        writeKey(key, value);
        out_.append(pretty_ ? ": " : ":");
        writeValue(value, depth + 1);
    }

    // The one loop of arrays and objects: separators, line breaks and indents.
    template <typename It, typename WriteElement>
    void writeContainer(char open, char close, It begin, It end, std::size_t depth, WriteElement writeElement) {
        out_.put(open);
        bool first = true;
        for (auto it = begin; it != end && ok_; ++it) {
            if (!first) {
                out_.put(',');
            }
            first = false;
            newline(depth + 1);
            writeElement(*it);
        }
        if (!first) {
            newline(depth);
        }
        out_.put(close);
    }

    bool pretty_;
    bool ok_ = true;
    Output out_;
    std::deque<std::vector<Member>> scratch_;
};

std::optional<std::string> writeBuilt(const Value& value, bool pretty) {
    Writer writer(pretty);
    std::string text = writer.write(BuiltNode{value});
    if (writer.failed()) {
        return std::nullopt;
    }
    return text;
}

}  // namespace

std::string writePrettySorted(View value) { return Writer(true).write(ParsedNode{ViewAccess::node(value)}); }

std::optional<std::string> writePrettySorted(const Value& value) { return writeBuilt(value, true); }

std::string writeCompactSorted(View value) { return Writer(false).write(ParsedNode{ViewAccess::node(value)}); }

std::optional<std::string> writeCompactSorted(const Value& value) { return writeBuilt(value, false); }

}  // namespace quillbrook::json
