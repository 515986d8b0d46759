#include "dev_agent/mime/html_text.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>

#include <glib.h>

#include "dev_agent/base/text.h"
#include "util/ascii.h"

namespace quillbrook::dev_agent {

namespace {

constexpr std::array<std::string_view, 4> kHiddenElements = {"script", "style", "head", "title"};
constexpr std::array<std::string_view, 16> kBlockElements = {
    "p", "div", "tr", "table", "h1", "h2", "h3", "h4", "h5", "h6", "ul", "ol", "blockquote", "pre", "hr", "section"};

// The most an entity takes from its '&' to its ';' ("&#x10FFFF;" and the longest
// name fit): a search for the ';' never looks further, so text full of '&'
// without one costs no more than text without any.
constexpr std::size_t kLongestEntity = 10;

constexpr std::array<std::pair<std::string_view, std::string_view>, 9> kEntities = {{
    {"amp", "&"},
    {"lt", "<"},
    {"gt", ">"},
    {"quot", "\""},
    {"apos", "'"},
    {"nbsp", "\xC2\xA0"},
    {"mdash", "\xE2\x80\x94"},
    {"ndash", "\xE2\x80\x93"},
    {"hellip", "\xE2\x80\xA6"},
}};

void appendCodePoint(std::string& out, std::uint32_t cp) {
    if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        cp = 0xFFFD;
    }
    char encoded[6];
    out.append(encoded, static_cast<std::size_t>(g_unichar_to_utf8(cp, encoded)));
}

// Where the lower-case `needle` next occurs in `html` from `from` on, in any case.
std::size_t findIgnoringCase(std::string_view html, std::string_view needle, std::size_t from) {
    auto found = std::search(html.begin() + static_cast<std::ptrdiff_t>(from), html.end(), needle.begin(), needle.end(),
                             [](char a, char b) { return g_ascii_tolower(a) == b; });
    return found == html.end() ? std::string_view::npos : static_cast<std::size_t>(found - html.begin());
}

// Decodes the entity whose name (without '&' and ';') is `name`; false when unknown.
bool appendEntity(std::string& out, std::string_view name) {
    if (name.size() > 1 && name[0] == '#') {
        bool hex = name[1] == 'x' || name[1] == 'X';
        std::string_view digits = name.substr(hex ? 2 : 1);
        std::uint32_t cp = 0;
        auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), cp, hex ? 16 : 10);
        if (error != std::errc() || end != digits.data() + digits.size() || digits.empty()) {
            return false;
        }
        appendCodePoint(out, cp);
        return true;
    }
    for (const auto& [entity, text] : kEntities) {
        if (entity == name) {
            out.append(text);
            return true;
        }
    }
    return false;
}

// Builds the text while folding white space: a pending blank is written only
// before the next visible character, never at the start of a line.
class TextBuilder {
public:
    void text(std::string_view visible) {
        if (pendingBlank_ && !out_.empty() && out_.back() != '\n') {
            out_.push_back(' ');
        }
        pendingBlank_ = false;
        out_.append(visible);
    }
    void blank() { pendingBlank_ = true; }
    // Ends the current line, as before a list item.
    void startLine() { padLineFeeds(1); }
    // Leaves one empty line before what follows, as around a block.
    void startParagraph() { padLineFeeds(2); }
    // One more line feed for a <br>, but never more than two empty lines in a row.
    void lineBreak() { padLineFeeds(trailingLineFeeds() < 3 ? trailingLineFeeds() + 1 : 0); }
    std::string finish() {
        while (!out_.empty() && out_.back() == '\n') {
            out_.pop_back();
        }
        return std::move(out_);
    }

private:
    // Counted up to three, the most any rule asks for: text may end in many
    // more (from "&#10;"), and counting them all at every <br> would cost their
    // number each time.
    std::size_t trailingLineFeeds() const {
        std::size_t trailing = 0;
        for (auto it = out_.rbegin(); it != out_.rend() && *it == '\n' && trailing < 3; ++it) {
            ++trailing;
        }
        return trailing;
    }
    // Line feeds until the text ends in `count` of them; none at its start.
    void padLineFeeds(std::size_t count) {
        pendingBlank_ = false;
        for (std::size_t trailing = trailingLineFeeds(); !out_.empty() && trailing < count; ++trailing) {
            out_.push_back('\n');
        }
    }

    std::string out_;
    bool pendingBlank_ = false;
};

std::string_view tagName(std::string_view tag) {
    std::size_t start = (!tag.empty() && tag[0] == '/') ? 1 : 0;
    std::size_t end = start;
    while (end < tag.size() && !isAsciiSpace(tag[end]) && tag[end] != '/' && tag[end] != '>') {
        ++end;
    }
    return tag.substr(start, end - start);
}

template <std::size_t N>
bool isOneOf(const std::string& name, const std::array<std::string_view, N>& names) {
    for (auto candidate : names) {
        if (name == candidate) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::string htmlToText(std::string_view html) {
    TextBuilder builder;
    std::size_t i = 0;
    while (i < html.size()) {
        char c = html[i];
        if (c == '<') {
            if (html.substr(i, 4) == "<!--") {
                auto close = html.find("-->", i + 4);
                i = close == std::string_view::npos ? html.size() : close + 3;
                continue;
            }
            auto close = html.find('>', i);
            if (close == std::string_view::npos) {
                break;
            }
            std::string_view tag = html.substr(i + 1, close - i - 1);
            std::string name = asciiLower(tagName(tag));
            bool closing = !tag.empty() && tag[0] == '/';
            i = close + 1;
            if (!closing && isOneOf(name, kHiddenElements)) {
                auto end = findIgnoringCase(html, "</" + name, i);
                i = end == std::string_view::npos ? html.size() : end;
            } else if (name == "br") {
                builder.lineBreak();
            } else if (name == "li" && !closing) {
                builder.startLine();
                builder.text("- ");
            } else if (isOneOf(name, kBlockElements)) {
                builder.startParagraph();
            }
            continue;
        }
        if (isAsciiSpace(c)) {
            builder.blank();
            ++i;
            continue;
        }
        if (c == '&') {
            auto semicolon = html.substr(0, i + kLongestEntity + 1).find(';', i);
            std::string decoded;
            if (semicolon != std::string_view::npos && appendEntity(decoded, html.substr(i + 1, semicolon - i - 1))) {
                builder.text(decoded);
                i = semicolon + 1;
                continue;
            }
        }
        builder.text(html.substr(i, 1));
        ++i;
    }
    return builder.finish();
}

}  // namespace quillbrook::dev_agent
