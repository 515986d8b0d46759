#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillbrook::dev_agent {

struct Attachment {
    std::string filename;  // empty when the part names none
    std::string contentType;
    std::uint64_t size = 0;  // decoded bytes
};

// A message as the agent answers with it: every text is valid UTF-8 with LF line
// ends, header text is decoded, message ids keep their angle brackets.
struct ParsedMessage {
    std::string from;
    std::string fromName;
    std::string to;
    std::string cc;
    std::string subject;
    std::string date;                  // ISO 8601 with the sender's offset; empty without a Date
    std::optional<std::int64_t> time;  // seconds since the epoch, for ordering
    std::string messageId;
    std::string inReplyTo;
    std::vector<std::string> references;
    std::string body;
    std::string bodyHTML;
    std::vector<Attachment> attachments;
};

// Parses one RFC 5322 message with GMime. Nothing when the bytes hold no message
// (no header fields at all). "body" is the first plain-text part that is not an
// attachment; a message with only HTML gets a text rendering of it.
std::optional<ParsedMessage> readMessage(std::string_view raw);

}  // namespace quillbrook::dev_agent
