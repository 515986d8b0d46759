#include "dev_agent/mime/address_fields.h"

#include <array>

#include "dev_agent/base/text.h"
#include "util/ascii.h"

namespace quillbrook::dev_agent {

namespace {

constexpr std::array<std::string_view, 6> kAddressFields = {"from", "to", "cc", "bcc", "reply-to", "sender"};

// Where the value of the field that `line` starts begins, if it is an address
// field: past the colon, which may follow white space.
std::optional<std::size_t> addressValueStart(std::string_view line) {
    std::size_t nameEnd = line.find_first_of(": \t");
    std::size_t colon = line.find_first_not_of(" \t", nameEnd);
    if (colon == std::string_view::npos || line[colon] != ':') {
        return std::nullopt;
    }
    std::string name = asciiLower(line.substr(0, nameEnd));
    for (std::string_view field : kAddressFields) {
        if (name == field) {
            return colon + 1;
        }
    }
    return std::nullopt;
}

bool startsContinuation(std::string_view text, std::size_t at) {
    return at < text.size() && (text[at] == ' ' || text[at] == '\t');
}

// The characters GMime's reading of a name stops at, outside quotes and comments.
bool endsAName(char c) { return c == '<' || c == '>' || c == '@' || c == ';' || c == ':'; }

// Follows quoted strings and comments as GMime does, so that a "<" within them
// is not taken for the end of a name.
class NameScanner {
public:
    // Whether `c`, the next byte, ends the name being read.
    bool endsName(char c) {
        if (escaped_) {
            escaped_ = false;
        } else if ((quoted_ || comments_ > 0) && c == '\\') {
            escaped_ = true;
        } else if (quoted_) {
            quoted_ = c != '"';
        } else if (comments_ > 0) {
            comments_ += c == '(' ? 1 : c == ')' ? -1 : 0;
        } else if (c == '"') {
            quoted_ = true;
        } else if (c == '(') {
            comments_ = 1;
        } else {
            return endsAName(c);
        }
        return false;
    }

private:
    bool quoted_ = false;
    bool escaped_ = false;
    int comments_ = 0;
};

// One field's value, continuation lines included, with its colons and commas
// bounded; when `cut`, also cut at its last comma before kMaxAddressFieldBytes
// (at that many bytes when there is none), trailing white space dropped so that
// the field still ends on its line. Nothing when it needed none of it.
std::optional<std::string> boundedValue(std::string_view value, bool cut) {
    std::optional<std::string> out;
    std::size_t end = cut ? std::min(value.size(), kMaxAddressFieldBytes) : value.size();
    std::size_t colons = 0;
    std::size_t commasInName = 0;
    std::size_t lastComma = std::string_view::npos;
    NameScanner scanner;
    for (std::size_t at = 0; at < end; ++at) {
        char c = value[at];
        if ((c == ':' && ++colons > kMaxAddressColons) || (c == ',' && ++commasInName > kMaxCommasInName)) {
            if (!out) {
                out.emplace(value.substr(0, end));
            }
            (*out)[at] = c = ' ';
        }
        lastComma = c == ',' ? at : lastComma;
        if (scanner.endsName(c)) {
            commasInName = 0;
        }
    }
    if (end == value.size()) {
        return out;
    }
    std::string kept(out ? std::string_view(*out) : value.substr(0, end));
    kept.resize(lastComma == std::string_view::npos ? end : lastComma);
    while (!kept.empty() && isAsciiSpace(kept.back())) {
        kept.pop_back();
    }
    return kept;
}

}  // namespace

std::optional<std::string> withBoundedAddressFields(std::string_view message) {
    std::optional<std::string> out;
    std::size_t copied = 0;
    for (std::size_t start = 0; start < message.size();) {
        std::size_t newline = message.find('\n', start);
        std::size_t end = newline == std::string_view::npos ? message.size() : newline + 1;
        std::optional<std::size_t> valueStart =
            startsContinuation(message, start) ? std::nullopt : addressValueStart(message.substr(start, end - start));
        if (!valueStart) {
            start = end;
            continue;
        }
        std::size_t fieldEnd = end;
        while (startsContinuation(message, fieldEnd)) {
            newline = message.find('\n', fieldEnd);
            fieldEnd = newline == std::string_view::npos ? message.size() : newline + 1;
        }
        // The value without the field's own line end, which stays.
        std::size_t valueEnd = fieldEnd;
        while (valueEnd > start && (message[valueEnd - 1] == '\n' || message[valueEnd - 1] == '\r')) {
            --valueEnd;
        }
        std::size_t valueBegin = start + *valueStart;
        if (std::optional<std::string> bounded =
                boundedValue(message.substr(valueBegin, valueEnd - valueBegin), true)) {
            if (!out) {
                out.emplace();
            }
            out->append(message.substr(copied, valueBegin - copied)).append(*bounded);
            copied = valueEnd;
        }
        start = fieldEnd;
    }
    if (out) {
        out->append(message.substr(copied));
    }
    return out;
}

std::string boundedAddressList(std::string_view addresses) {
    std::optional<std::string> bounded = boundedValue(addresses, false);
    return bounded ? std::move(*bounded) : std::string(addresses);
}

}  // namespace quillbrook::dev_agent
