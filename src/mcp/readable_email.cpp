#include "mcp/readable_email.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "mcp/mcp_error.h"
#include "util/ascii.h"

namespace quillbrook {

namespace {

bool isContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

bool hasText(const json::Value& value) {
    if (!value.is_string()) {
        return false;
    }
    const std::string& text = value.get_ref<const std::string&>();
    return std::any_of(text.begin(), text.end(), [](char c) { return !isAsciiSpace(c); });
}

// `text` (valid UTF-8, as every parsed string is) cut after `maxChars` characters.
void cut(std::string& text, std::size_t maxChars) {
    std::size_t characters = 0;
    std::size_t end = text.size();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (isContinuationByte(text[i])) {
            continue;
        }
        if (characters == maxChars) {
            end = i;
        }
        ++characters;
    }
    if (characters <= maxChars) {
        return;
    }
    text.resize(end);
    const std::size_t leftOut = characters - maxChars;
    text += "\n[" + std::to_string(leftOut) + (leftOut == 1 ? " more character" : " more characters") +
            " left out; a larger max_chars shows them]";
}

}  // namespace

ReadingOptions readingOptions(const json::Value& arguments) {
    ReadingOptions options;
    if (auto html = arguments.find("include_html"); html != arguments.end() && !html->is_null()) {
        if (!html->is_boolean()) {
            throw MCPError::invalidArgument("include_html", "must be true or false");
        }
        options.includeHtml = html->get<bool>();
    }
    if (auto limit = arguments.find("max_chars"); limit != arguments.end() && !limit->is_null()) {
        if (!limit->is_number_integer() ||
            (limit->is_number_unsigned() ? limit->get<std::uint64_t>() == 0 : limit->get<std::int64_t>() < 1)) {
            throw MCPError::invalidArgument("max_chars", "must be a whole number of at least 1");
        }
        options.maxChars = limit->get<std::uint64_t>();
    }
    return options;
}

void applyReadingOptions(json::Value& email, const ReadingOptions& options) {
    if (!email.is_object()) {
        return;
    }
    auto body = email.find("body");
    if (!options.includeHtml && body != email.end() && hasText(*body)) {
        email.erase("bodyHTML");
    }
    if (!options.maxChars) {
        return;
    }
    for (const char* field : {"body", "bodyHTML"}) {
        if (auto text = email.find(field); text != email.end() && text->is_string()) {
            cut(text->get_ref<std::string&>(), *options.maxChars);
        }
    }
}

}  // namespace quillbrook
