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
    if (!value.isString()) {
        return false;
    }
    const std::string& text = value.string();
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
    if (const json::Value* html = arguments.find("include_html"); html != nullptr && !html->isNull()) {
        if (!html->isBool()) {
            throw MCPError::invalidArgument("include_html", "must be true or false");
        }
        options.includeHtml = html->isTrue();
    }
    if (const json::Value* limit = arguments.find("max_chars"); limit != nullptr && !limit->isNull()) {
        bool positive = (limit->kind() == json::Kind::uint64 && limit->uint64() > 0) ||
                        (limit->kind() == json::Kind::int64 && limit->int64() > 0);
        if (!positive) {
            throw MCPError::invalidArgument("max_chars", "must be a whole number of at least 1");
        }
        options.maxChars =
            limit->kind() == json::Kind::uint64 ? limit->uint64() : static_cast<std::uint64_t>(limit->int64());
    }
    return options;
}

void applyReadingOptions(json::Value& email, const ReadingOptions& options) {
    if (!email.isObject()) {
        return;
    }
    const json::Value* body = email.find("body");
    if (!options.includeHtml && body != nullptr && hasText(*body)) {
        email.erase("bodyHTML");
    }
    if (!options.maxChars) {
        return;
    }
    for (const char* field : {"body", "bodyHTML"}) {
        if (json::Value* text = email.find(field); text != nullptr && text->isString()) {
            cut(text->string(), *options.maxChars);
        }
    }
}

}  // namespace quillbrook
