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

// Written by hand rather than with a library's writer: none sorts keys without
// copying the document, escapes the solidus, writes long integers back digit
// for digit, or writes a document straight into a JSON string, escaped twice,
// as a tool result's text needs.

namespace quillbrook::json {

namespace {

// How a string byte is written: as it is (length 0) or as an escape.
struct Escape {
    std::uint8_t length = 0;
    std::array<char, 7> text{};
};
using EscapeTable = std::array<Escape, 256>;

constexpr EscapeTable makeEscapes() {
    constexpr char kHex[] = "0123456789abcdef";
    EscapeTable table{};
    auto set = [&](unsigned char c, char escape) {
        table[c].text = {'\\', escape};
        table[c].length = 2;
    };
    for (unsigned c = 0; c < 0x20; ++c) {
        table[c].text = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 0xF]};
        table[c].length = 6;
    }
    set('\b', 'b');
    set('\f', 'f');
    set('\n', 'n');
    set('\r', 'r');
    set('\t', 't');
    set('"', '"');
    set('\\', '\\');
    set('/', '/');
    return table;
}
constexpr EscapeTable kEscapedOnce = makeEscapes();

// A string inside a document that is itself written as a JSON string: each
// byte's escape, escaped once more. The bytes that need it are the same.
constexpr EscapeTable makeEscapesTwice() {
    EscapeTable table{};
    for (std::size_t c = 0; c < table.size(); ++c) {
        const Escape& once = kEscapedOnce[c];
        Escape& twice = table[c];
        for (std::size_t i = 0; i < once.length; ++i) {
            const Escape& outer = kEscapedOnce[static_cast<unsigned char>(once.text[i])];
            if (outer.length == 0) {
                twice.text[twice.length++] = once.text[i];
            } else {
                twice.text[twice.length++] = outer.text[0];
                twice.text[twice.length++] = outer.text[1];
            }
        }
    }
    return table;
}
constexpr EscapeTable kEscapedTwice = makeEscapesTwice();

// The most bytes one input byte becomes, once or twice escaped.
constexpr std::size_t kMaxEscapeBytes = 7;

// Marks the first byte of a word that needs an escape: controls, quote,
// backslash and solidus. Bytes of multibyte characters never do.
inline std::uint64_t escapeMask(std::uint64_t word) {
    using namespace word_scan;
    return byteBelowMask(word, 0x20) | byteMask(word, '"') | byteMask(word, '\\') | byteMask(word, '/');
}

// What the writer needs of a parsed value.
struct ParsedNode {
    const Node& v;
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

enum class Layout {
    pretty,         // indented by two spaces
    compact,        // no white space
    compactString,  // compact, then written as a JSON string
};

class Writer {
public:
    // Long strings are escaped a slice at a time (see writeString).
    static constexpr std::size_t kSliceBytes = 16 * 1024;

    explicit Writer(Layout layout)
        : pretty_(layout == Layout::pretty),
          escapes_(layout == Layout::compactString ? kEscapedTwice : kEscapedOnce),
          quote_(layout == Layout::compactString ? "\\\"" : "\"") {}

    template <typename Node>
    std::string write(const Node& root) {
        if (quote_.size() > 1) {
            out_.put('"');
        }
        writeValue(root, 0);
        if (quote_.size() > 1) {
            out_.put('"');
        }
        return out_.take();
    }

    // Whether a built value held something that cannot be written.
    bool failed() const { return !ok_; }

private:
    struct Member {
        std::string_view key;
        const Node* value;
    };

    void newline(std::size_t depth) {
        if (pretty_) {
            char* at = out_.room(1 + depth * 2);
            *at = '\n';
            std::memset(at + 1, ' ', depth * 2);
            out_.commit(at + 1 + depth * 2);
        }
    }

    // Escapes `s` to `at`, which has room for kMaxEscapeBytes a byte. Clean runs
    // are copied a word at a time, through non-ASCII text as well.
    char* escapeRun(char* at, std::string_view s) const {
        using word_scan::kWordBytes;
        const char* p = s.data();
        const char* end = p + s.size();
        for (;;) {
            while (static_cast<std::size_t>(end - p) >= kWordBytes) {
                std::size_t clean = word_scan::bytesBeforeMark(escapeMask(word_scan::load(p)));
                // The whole word is copied; what follows the clean bytes is overwritten.
                std::memcpy(at, p, kWordBytes);
                at += clean;
                p += clean;
                if (clean < kWordBytes) {
                    break;
                }
            }
            if (p == end) {
                return at;
            }
            const Escape& escape = escapes_[static_cast<unsigned char>(*p)];
            if (escape.length == 0) {
                *at++ = *p;
            } else {
                std::memcpy(at, escape.text.data(), kMaxEscapeBytes);
                at += escape.length;
            }
            ++p;
        }
    }

    void writeString(std::string_view s) {
        // Room is asked for the worst case a slice at a time, so that the
        // buffer stays near its final size (a 1 MiB text would otherwise
        // reserve and touch 7 MiB).
        char* at = out_.room(std::min(s.size(), kSliceBytes) * kMaxEscapeBytes + 2 * quote_.size());
        at = std::copy(quote_.begin(), quote_.end(), at);
        for (;;) {
            std::string_view slice = s.substr(0, kSliceBytes);
            s.remove_prefix(slice.size());
            at = escapeRun(at, slice);
            if (s.empty()) {
                break;
            }
            out_.commit(at);
            at = out_.room(std::min(s.size(), kSliceBytes) * kMaxEscapeBytes + quote_.size());
        }
        at = std::copy(quote_.begin(), quote_.end(), at);
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
        const Node& v = n.v;
        switch (v.kind) {
        case NodeKind::null:
            out_.append("null");
            break;
        case NodeKind::falseValue:
            out_.append("false");
            break;
        case NodeKind::trueValue:
            out_.append("true");
            break;
        case NodeKind::string:
            writeString(v.string());
            break;
        case NodeKind::bigInteger:
            out_.append(v.string());
            break;
        case NodeKind::int64:
            writeInteger(v.int64);
            break;
        case NodeKind::uint64:
            writeInteger(v.uint64);
            break;
        case NodeKind::real:
            writeDouble(v.real);
            break;
        case NodeKind::array:
            writeParsedArray(v, depth);
            break;
        case NodeKind::object:
            writeParsedObject(v, depth);
            break;
        }
    }

    void writeParsedArray(const Node& array, std::size_t depth) {
        out_.put('[');
        const Node* element = &array + 1;
        for (std::uint32_t i = 0; i < array.length; ++i, element = element->next()) {
            if (i > 0) {
                out_.put(',');
            }
            newline(depth + 1);
            writeValue(ParsedNode{*element}, depth + 1);
        }
        if (array.length > 0) {
            newline(depth);
        }
        out_.put(']');
    }

    static void sortByKey(std::vector<Member>& members) {
        // Keys mostly differ in their first byte: that compare needs no call.
        auto byKey = [](const Member& a, const Member& b) {
            if (!a.key.empty() && !b.key.empty() && a.key.front() != b.key.front()) {
                return static_cast<unsigned char>(a.key.front()) < static_cast<unsigned char>(b.key.front());
            }
            return a.key < b.key;
        };
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

    void writeParsedObject(const Node& object, std::size_t depth) {
        if (scratch_.size() <= depth) {
            scratch_.resize(depth + 1);  // A deque: rows already in use stay where they are.
        }
        std::vector<Member>& members = scratch_[depth];
        members.clear();
        const Node* key = &object + 1;
        for (std::uint32_t i = 0; i < object.length; ++i, key = (key + 1)->next()) {
            members.push_back({key->string(), key + 1});
        }
        sortByKey(members);
        // Of repeated keys only the last occurrence counts, as when reading.
        auto last = std::unique(members.rbegin(), members.rend(),
                                [](const Member& a, const Member& b) { return a.key == b.key; });
        members.erase(members.begin(), last.base());
        // Writing nested objects uses deeper scratch rows, never this one.
        writeContainer('{', '}', members.begin(), members.end(), depth,
                       [&](const Member& member) { writeMember(member.key, ParsedNode{*member.value}, depth); });
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
            writeContainer('{', '}', object.begin(), object.end(), depth,
                           [&](const auto& member) { writeMember(member.first, BuiltNode{member.second}, depth); });
            break;
        }
        case Value::value_t::binary:
            if (auto digits = bigIntegerDigits(v)) {
                out_.append(*digits);
            } else if (auto text = preWrittenText(v); text && quote_.size() == 1) {
                out_.append(*text);
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
    const EscapeTable& escapes_;
    std::string_view quote_;
    bool ok_ = true;
    Output out_;
    std::deque<std::vector<Member>> scratch_;
};

std::string writeParsed(View value, Layout layout) { return Writer(layout).write(ParsedNode{ViewAccess::node(value)}); }

std::optional<std::string> writeBuilt(const Value& value, Layout layout) {
    Writer writer(layout);
    std::string text = writer.write(BuiltNode{value});
    if (writer.failed()) {
        return std::nullopt;
    }
    return text;
}

}  // namespace

std::string writePrettySorted(View value) { return writeParsed(value, Layout::pretty); }

std::optional<std::string> writePrettySorted(const Value& value) { return writeBuilt(value, Layout::pretty); }

std::string writeCompactSorted(View value) { return writeParsed(value, Layout::compact); }

std::optional<std::string> writeCompactSorted(const Value& value) { return writeBuilt(value, Layout::compact); }

std::string writeCompactSortedAsString(View value) { return writeParsed(value, Layout::compactString); }

std::optional<std::string> writeCompactSortedAsString(const Value& value) {
    return writeBuilt(value, Layout::compactString);
}

std::size_t writtenByteSize(char byte) {
    std::size_t escaped = kEscapedOnce[static_cast<unsigned char>(byte)].length;
    return escaped == 0 ? 1 : escaped;
}

}  // namespace quillbrook::json
