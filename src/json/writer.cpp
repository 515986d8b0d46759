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

// What the writer reads of a parsed node. Its strings were checked when read.
struct ParsedAccess {
    using Item = Node;
    static constexpr bool kCheckStrings = false;
    static constexpr bool kMembersSorted = false;
    static Kind kind(const Node& n) { return n.kind; }
    static std::string_view text(const Node& n) { return n.string(); }
    static std::int64_t int64(const Node& n) { return n.int64; }
    static std::uint64_t uint64(const Node& n) { return n.uint64; }
    static double real(const Node& n) { return n.real; }
    template <typename Visit>
    static void forEachElement(const Node& array, Visit visit) {
        const Node* element = &array + 1;
        for (std::uint32_t i = 0; i < array.length; ++i, element = element->next()) {
            visit(*element);
        }
    }
    template <typename Visit>
    static void forEachMember(const Node& object, Visit visit) {
        const Node* key = &object + 1;
        for (std::uint32_t i = 0; i < object.length; ++i, key = (key + 1)->next()) {
            visit(key->string(), *(key + 1));
        }
    }
};

// What the writer reads of a built value. Its objects are sorted already.
struct BuiltAccess {
    using Item = Value;
    static constexpr bool kCheckStrings = true;
    static constexpr bool kMembersSorted = true;
    static Kind kind(const Value& v) { return v.kind(); }
    static std::string_view text(const Value& v) { return v.text(); }
    static std::int64_t int64(const Value& v) { return v.int64(); }
    static std::uint64_t uint64(const Value& v) { return v.uint64(); }
    static double real(const Value& v) { return v.real(); }
    template <typename Visit>
    static void forEachElement(const Value& array, Visit visit) {
        for (const Value& element : array.elements()) {
            visit(element);
        }
    }
    template <typename Visit>
    static void forEachMember(const Value& object, Visit visit) {
        for (const auto& member : object.members()) {
            visit(member.first, member.second);
        }
    }
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

// The one walk of every writer, over parsed nodes and built values alike.
template <typename Access>
class Writer {
public:
    using Item = typename Access::Item;

    // Long strings are escaped a slice at a time (see writeText).
    static constexpr std::size_t kSliceBytes = 16 * 1024;

    explicit Writer(Layout layout)
        : pretty_(layout == Layout::pretty),
          asString_(layout == Layout::compactString),
          escapes_(asString_ ? kEscapedTwice : kEscapedOnce),
          quote_(asString_ ? "\\\"" : "\"") {}

    // Nothing when a built value held something that cannot be written.
    std::optional<std::string> write(const Item& root) {
        if (asString_) {
            out_.put('"');
        }
        writeValue(root, 0);
        if (asString_) {
            out_.put('"');
        }
        if (!ok_) {
            return std::nullopt;
        }
        return out_.take();
    }

private:
    struct Member {
        std::string_view key;
        const Item* value;
    };

    void newline(std::size_t depth) {
        if (pretty_) {
            char* at = out_.room(1 + depth * 2);
            *at = '\n';
            std::memset(at + 1, ' ', depth * 2);
            out_.commit(at + 1 + depth * 2);
        }
    }

    // Escapes `s` to `at` by `escapes`, with room for kMaxEscapeBytes a byte.
    // Clean runs are copied a word at a time, through non-ASCII text as well.
    static char* escapeRun(char* at, std::string_view s, const EscapeTable& escapes) {
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
            const Escape& escape = escapes[static_cast<unsigned char>(*p)];
            if (escape.length == 0) {
                *at++ = *p;
            } else {
                std::memcpy(at, escape.text.data(), kMaxEscapeBytes);
                at += escape.length;
            }
            ++p;
        }
    }

    // `s` escaped by `escapes` between two `quote`s.
    void writeText(std::string_view s, const EscapeTable& escapes, std::string_view quote) {
        // Room is asked for the worst case a slice at a time, so that the
        // buffer stays near its final size (a 1 MiB text would otherwise
        // reserve and touch 7 MiB).
        char* at = out_.room(std::min(s.size(), kSliceBytes) * kMaxEscapeBytes + 2 * quote.size());
        at = std::copy(quote.begin(), quote.end(), at);
        for (;;) {
            std::string_view slice = s.substr(0, kSliceBytes);
            s.remove_prefix(slice.size());
            at = escapeRun(at, slice, escapes);
            if (s.empty()) {
                break;
            }
            out_.commit(at);
            at = out_.room(std::min(s.size(), kSliceBytes) * kMaxEscapeBytes + quote.size());
        }
        at = std::copy(quote.begin(), quote.end(), at);
        out_.commit(at);
    }

    void writeString(std::string_view s) {
        if constexpr (Access::kCheckStrings) {
            if (!utf8::isValid(s)) {
                ok_ = false;
                return;
            }
        }
        writeText(s, escapes_, quote_);
    }

    // Text a writer wrote already: as it is, or escaped once inside a JSON string.
    void writePreWritten(std::string_view text) {
        if (asString_) {
            writeText(text, kEscapedOnce, {});
        } else {
            out_.append(text);
        }
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

    void writeValue(const Item& v, std::size_t depth) {
        switch (Access::kind(v)) {
        case Kind::null:
            out_.append("null");
            break;
        case Kind::falseValue:
            out_.append("false");
            break;
        case Kind::trueValue:
            out_.append("true");
            break;
        case Kind::string:
            writeString(Access::text(v));
            break;
        case Kind::bigInteger:
            out_.append(Access::text(v));
            break;
        case Kind::preWritten:
            writePreWritten(Access::text(v));
            break;
        case Kind::int64:
            writeInteger(Access::int64(v));
            break;
        case Kind::uint64:
            writeInteger(Access::uint64(v));
            break;
        case Kind::real:
            writeDouble(Access::real(v));
            break;
        case Kind::array:
            writeArray(v, depth);
            break;
        case Kind::object:
            writeObject(v, depth);
            break;
        }
    }

    // Before each element of a container: the separator, the line break and the indent.
    void separate(bool& any, std::size_t depth) {
        if (any) {
            out_.put(',');
        }
        any = true;
        newline(depth + 1);
    }

    void close(char bracket, bool any, std::size_t depth) {
        if (any) {
            newline(depth);
        }
        out_.put(bracket);
    }

    void writeArray(const Item& array, std::size_t depth) {
        out_.put('[');
        bool any = false;
        Access::forEachElement(array, [&](const Item& element) {
            separate(any, depth);
            writeValue(element, depth + 1);
        });
        close(']', any, depth);
    }

    void writeMember(bool& any, std::string_view key, const Item& value, std::size_t depth) {
        separate(any, depth);
        writeString(key);
        out_.append(pretty_ ? ": " : ":");
        writeValue(value, depth + 1);
    }

    void writeObject(const Item& object, std::size_t depth) {
        out_.put('{');
        bool any = false;
        if constexpr (Access::kMembersSorted) {
            Access::forEachMember(
                object, [&](std::string_view key, const Item& value) { writeMember(any, key, value, depth); });
        } else {
            // Writing nested objects uses deeper scratch rows, never this one.
            for (const Member& member : sortedMembers(object, depth)) {
                writeMember(any, member.key, *member.value, depth);
            }
        }
        close('}', any, depth);
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

    // The members of `object` sorted by key, of repeated keys only the last, as when reading.
    const std::vector<Member>& sortedMembers(const Item& object, std::size_t depth) {
        if (scratch_.size() <= depth) {
            scratch_.resize(depth + 1);  // A deque: rows already in use stay where they are.
        }
        std::vector<Member>& members = scratch_[depth];
        members.clear();
        Access::forEachMember(object, [&](std::string_view key, const Item& value) {
            members.push_back({key, &value});
        });
        sortByKey(members);
        auto last = std::unique(members.rbegin(), members.rend(),
                                [](const Member& a, const Member& b) { return a.key == b.key; });
        members.erase(members.begin(), last.base());
        return members;
    }

    bool pretty_;
    bool asString_;
    const EscapeTable& escapes_;
    std::string_view quote_;
    bool ok_ = true;
    Output out_;
    std::deque<std::vector<Member>> scratch_;
};

// What was parsed is always writable.
std::string writeParsed(View value, Layout layout) {
    return *Writer<ParsedAccess>(layout).write(ViewAccess::node(value));
}

std::optional<std::string> writeBuilt(const Value& value, Layout layout) {
    return Writer<BuiltAccess>(layout).write(value);
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
