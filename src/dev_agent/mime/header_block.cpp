#include "dev_agent/mime/header_block.h"

namespace quillbrook::dev_agent {

namespace {

constexpr std::string_view kMboxSeparator = "From ";

bool isWhiteSpace(char c) { return c == ' ' || c == '\t'; }

// A field name is printable ASCII other than the colon.
std::size_t nameLength(std::string_view line) {
    std::size_t i = 0;
    while (i < line.size() && line[i] > ' ' && line[i] < 0x7F && line[i] != ':') {
        ++i;
    }
    return i;
}

// Obsolete syntax allows white space between the name and the colon.
bool isField(std::string_view line) {
    std::size_t i = nameLength(line);
    if (i == 0) {
        return false;
    }
    while (i < line.size() && isWhiteSpace(line[i])) {
        ++i;
    }
    return i < line.size() && line[i] == ':';
}

// The length of the name of a field with its colon right after the name; 0
// for any other line.
std::size_t plainNameLength(std::string_view line) {
    std::size_t length = nameLength(line);
    return length < line.size() && line[length] == ':' ? length : 0;
}

// A line's text without its LF or CRLF; nothing when a CR stands elsewhere.
std::optional<std::string_view> lineText(std::string_view line) {
    if (!line.empty() && line.back() == '\n') {
        line.remove_suffix(1);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
    }
    if (line.find('\r') != std::string_view::npos) {
        return std::nullopt;
    }
    return line;
}

}  // namespace

std::optional<std::vector<HeaderField>> plainFields(std::string_view header) {
    if (header.find('\0') != std::string_view::npos) {
        return std::nullopt;
    }
    std::vector<HeaderField> fields;
    std::size_t start = 0;
    while (start < header.size()) {
        std::size_t newline = header.find('\n', start);
        std::size_t next = newline == std::string_view::npos ? header.size() : newline + 1;
        std::optional<std::string_view> text = lineText(header.substr(start, next - start));
        if (!text) {
            return std::nullopt;
        }
        if (text->empty()) {
            break;  // the blank line that ends the block
        }
        if (isWhiteSpace(text->front())) {
            if (fields.empty() || text->find_first_not_of(" \t") == std::string_view::npos) {
                return std::nullopt;
            }
            std::string_view& value = fields.back().rawValue;
            std::size_t valueStart = static_cast<std::size_t>(value.data() - header.data());
            value = header.substr(valueStart, next - valueStart);
        } else {
            std::size_t nameLength = plainNameLength(*text);
            if (nameLength == 0) {
                return std::nullopt;
            }
            fields.push_back({header.substr(start, nameLength),
                              header.substr(start + nameLength + 1, next - start - nameLength - 1)});
        }
        start = next;
    }
    return fields;
}

HeaderBlock findHeaderBlock(std::string_view raw) {
    std::size_t start = 0;
    bool first = true;
    while (start < raw.size()) {
        std::size_t newline = raw.find('\n', start);
        std::size_t next = newline == std::string_view::npos ? raw.size() : newline + 1;
        std::string_view line = raw.substr(start, next - start);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
            line.remove_suffix(1);
        }
        if (line.empty()) {
            return {start, next, true};
        }
        bool belongs = isField(line) || (!first && isWhiteSpace(line.front())) ||
                       (first && line.substr(0, kMboxSeparator.size()) == kMboxSeparator);
        if (!belongs) {
            return {start, start, false};
        }
        first = false;
        start = next;
    }
    return {raw.size(), raw.size(), false};
}

std::optional<std::string> unfoldedWhenCostly(std::string_view header) {
    auto continues = [&](std::size_t lineFeed) {
        return lineFeed + 1 < header.size() && isWhiteSpace(header[lineFeed + 1]);
    };
    std::size_t folds = 0;
    for (std::size_t at = header.find('\n'); at != std::string_view::npos; at = header.find('\n', at + 1)) {
        folds += continues(at) ? 1 : 0;
    }
    if (folds <= kMaxFoldedLines) {
        return std::nullopt;
    }
    std::string out;
    out.reserve(header.size());
    std::size_t copied = 0;
    for (std::size_t at = header.find('\n'); at != std::string_view::npos; at = header.find('\n', at + 1)) {
        if (continues(at)) {
            std::size_t lineEnd = at > copied && header[at - 1] == '\r' ? at - 1 : at;
            out.append(header.substr(copied, lineEnd - copied));
            copied = at + 1;
        }
    }
    out.append(header.substr(copied));
    return out;
}

}  // namespace quillbrook::dev_agent
