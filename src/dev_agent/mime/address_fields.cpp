#include "dev_agent/mime/address_fields.h"

#include <array>

#include "dev_agent/base/text.h"

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

// Counts the colons of `text` from `from` to `to` on from `colons` and turns each
// past the limit into a space; `text` is copied into `out` at the first change.
void boundColons(std::string_view text, std::size_t from, std::size_t to, std::size_t& colons,
                 std::optional<std::string>& out) {
    // Within the field alone: a search past its end would read the rest of the
    // message again for every line.
    const std::string_view field = text.substr(0, to);
    for (std::size_t at = field.find(':', from); at != std::string_view::npos; at = field.find(':', at + 1)) {
        if (++colons > kMaxAddressColons) {
            if (!out) {
                out.emplace(text);
            }
            (*out)[at] = ' ';
        }
    }
}

}  // namespace

std::optional<std::string> withBoundedAddressFields(std::string_view message) {
    std::optional<std::string> out;
    bool inAddressField = false;
    std::size_t colons = 0;
    for (std::size_t start = 0; start < message.size();) {
        std::size_t newline = message.find('\n', start);
        std::size_t end = newline == std::string_view::npos ? message.size() : newline + 1;
        std::string_view line = message.substr(start, end - start);
        std::size_t valueStart = 0;
        if (line.front() != ' ' && line.front() != '\t') {
            std::optional<std::size_t> value = addressValueStart(line);
            inAddressField = value.has_value();
            valueStart = value.value_or(0);
            colons = 0;
        }
        if (inAddressField) {
            boundColons(message, start + valueStart, end, colons, out);
        }
        start = end;
    }
    return out;
}

std::string boundedAddressList(std::string_view addresses) {
    std::optional<std::string> out;
    std::size_t colons = 0;
    boundColons(addresses, 0, addresses.size(), colons, out);
    return out ? std::move(*out) : std::string(addresses);
}

}  // namespace quillbrook::dev_agent
