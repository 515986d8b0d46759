#pragma once

#include <cstddef>
#include <optional>

#include "json/json.h"

namespace quillbrook {

// How a modern client asks for an email to be read: a mail's HTML roughly
// doubles what the assistant has to take in, and a long mail can outgrow what
// a host passes on at all.
struct ReadingOptions {
    bool includeHtml = false;             // "include_html"
    std::optional<std::size_t> maxChars;  // "max_chars"
};

// The options among a read_email call's arguments; throws MCPError::invalidArgument
// for a value of the wrong kind, before the agent is asked.
ReadingOptions readingOptions(const json::Value& arguments);

// A read_email result as the options ask for it: "bodyHTML" left out unless
// asked for or "body" has no text, then "body" and "bodyHTML" each cut at a
// character boundary to at most maxChars characters, with a line saying how
// many were left out.
void applyReadingOptions(json::Value& email, const ReadingOptions& options);

}  // namespace quillbrook
