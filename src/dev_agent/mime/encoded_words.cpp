#include "dev_agent/mime/encoded_words.h"

#include <vector>

#include <glib.h>

#include "dev_agent/base/text.h"
#include "dev_agent/mime/charset_text.h"
#include "util/utf8.h"

namespace quillbrook::dev_agent {

namespace {

constexpr std::string_view kFallbackLabel = "windows-1252";

struct EncodedWord {
    std::size_t start = 0;
    std::size_t end = 0;       // just past "?="
    std::string_view charset;  // the label as written, without any "*language"
    std::string bytes;         // the decoded text, in that charset
};

// Q encoding (RFC 2047 4.2): "_" is a space, "=XX" a byte. GMime decodes it only
// together with the charset conversion, so it is undone here by hand.
std::string decodeQ(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '_') {
            out.push_back(' ');
        } else if (text[i] == '=' && i + 2 < text.size() && g_ascii_isxdigit(text[i + 1]) &&
                   g_ascii_isxdigit(text[i + 2])) {
            out.push_back(
                static_cast<char>(g_ascii_xdigit_value(text[i + 1]) * 16 + g_ascii_xdigit_value(text[i + 2])));
            i += 2;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

std::string decodeB(std::string_view text) {
    std::string out(text.size() / 4 * 3 + 3, '\0');
    gint state = 0;
    guint save = 0;
    gsize written =
        g_base64_decode_step(text.data(), text.size(), reinterpret_cast<guchar*>(out.data()), &state, &save);
    out.resize(written);
    return out;
}

constexpr std::string_view kWhiteSpace = " \t\r\n";

std::size_t nextQuestionMark(std::string_view text, std::size_t from) { return text.find('?', from); }
std::size_t nextWordEnd(std::string_view text, std::size_t from) { return text.find("?=", from); }
std::size_t nextWhiteSpace(std::string_view text, std::size_t from) { return text.find_first_of(kWhiteSpace, from); }

// The next place at or after a position where `search` finds something, asked
// for positions that never go back: a search starts only past what the last one
// found, so all of them together read the text once, however many "=?" start no
// word. (Searching afresh from each "=?" cost the rest of the header each time.)
class ForwardSearch {
public:
    using Search = std::size_t (*)(std::string_view, std::size_t);

    ForwardSearch(std::string_view text, Search search) : text_(text), search_(search) {}

    std::size_t from(std::size_t position) {
        if (!searched_ || (found_ != std::string_view::npos && found_ < position)) {
            found_ = search_(text_, position);
            searched_ = true;
        }
        return found_;
    }

private:
    std::string_view text_;
    Search search_;
    std::size_t found_ = std::string_view::npos;
    bool searched_ = false;
};

// The encoded words of a header, asked for at increasing positions.
class EncodedWordScanner {
public:
    explicit EncodedWordScanner(std::string_view header) : header_(header) {}

    // The encoded word that starts at `start` ("=?"), if one does.
    std::optional<EncodedWord> wordAt(std::size_t start) {
        std::size_t charsetEnd = questionMark_.from(start + 2);
        if (charsetEnd == std::string_view::npos || charsetEnd + 2 >= header_.size() ||
            header_[charsetEnd + 2] != '?') {
            return std::nullopt;
        }
        std::size_t textStart = charsetEnd + 3;
        std::size_t textEnd = wordEnd_.from(textStart);
        // An encoded word holds no white space.
        if (textEnd == std::string_view::npos || whiteSpace_.from(start) < textEnd) {
            return std::nullopt;
        }
        std::string_view label = header_.substr(start + 2, charsetEnd - start - 2);
        std::string_view text = header_.substr(textStart, textEnd - textStart);
        EncodedWord word;
        word.start = start;
        word.end = textEnd + 2;
        word.charset = label.substr(0, label.find('*'));
        char encoding = g_ascii_toupper(header_[charsetEnd + 1]);
        if (encoding == 'Q') {
            word.bytes = decodeQ(text);
        } else if (encoding == 'B') {
            word.bytes = decodeB(text);
        } else {
            return std::nullopt;
        }
        return word;
    }

private:
    std::string_view header_;
    ForwardSearch questionMark_{header_, nextQuestionMark};
    ForwardSearch wordEnd_{header_, nextWordEnd};
    ForwardSearch whiteSpace_{header_, nextWhiteSpace};
};

bool onlyWhiteSpace(std::string_view text) { return text.find_first_not_of(kWhiteSpace) == std::string_view::npos; }

}  // namespace

std::optional<std::string> relabelMislabelledEncodedWords(std::string_view header) {
    std::vector<EncodedWord> words;
    EncodedWordScanner scanner(header);
    for (std::size_t at = header.find("=?"); at != std::string_view::npos; at = header.find("=?", at + 2)) {
        if (std::optional<EncodedWord> word = scanner.wordAt(at)) {
            at = word->end - 2;
            words.push_back(std::move(*word));
        }
    }
    // Runs of adjacent words with the same label, judged as one text.
    std::vector<std::string_view> relabel;
    for (std::size_t first = 0; first < words.size();) {
        std::size_t last = first;
        std::string text = words[first].bytes;
        while (last + 1 < words.size() && asciiLower(words[last + 1].charset) == asciiLower(words[first].charset) &&
               onlyWhiteSpace(header.substr(words[last].end, words[last + 1].start - words[last].end))) {
            ++last;
            text += words[last].bytes;
        }
        if (isUtf8Label(words[first].charset) && !utf8::isValid(text)) {
            for (std::size_t i = first; i <= last; ++i) {
                relabel.push_back(words[i].charset);
            }
        }
        first = last + 1;
    }
    if (relabel.empty()) {
        return std::nullopt;
    }
    std::string out;
    out.reserve(header.size() + relabel.size() * kFallbackLabel.size());
    std::size_t copied = 0;
    for (std::string_view label : relabel) {
        auto labelStart = static_cast<std::size_t>(label.data() - header.data());
        out.append(header.substr(copied, labelStart - copied)).append(kFallbackLabel);
        copied = labelStart + label.size();
    }
    out.append(header.substr(copied));
    return out;
}

bool lenientDecodingIsCostly(std::string_view text) {
    // Sixteen reads of the text, and a megabyte that takes GMime a millisecond
    // however it is spent, so that small odd headers keep the lenient reading.
    constexpr std::size_t kReadsAllowed = 16;
    constexpr std::size_t kBytesAlwaysAllowed = 1024 * 1024;
    const std::size_t budget = kReadsAllowed * text.size() + kBytesAlwaysAllowed;
    ForwardSearch wordEnd(text, nextWordEnd);
    std::size_t cost = 0;
    for (std::size_t at = text.find("=?"); at != std::string_view::npos; at = text.find("=?", at + 2)) {
        std::size_t end = wordEnd.from(at + 2);
        cost += (end == std::string_view::npos ? text.size() : end) - at;
        if (cost > budget) {
            return true;
        }
    }
    return false;
}

}  // namespace quillbrook::dev_agent
