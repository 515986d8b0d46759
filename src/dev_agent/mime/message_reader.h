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
    std::string date;                  // ISO 8601 with the sender's offset; empty without a usable Date
    std::optional<std::int64_t> time;  // seconds since the epoch, for ordering
    std::string messageId;
    std::string inReplyTo;
    std::vector<std::string> references;
    std::string body;
    std::string bodyHTML;
    std::vector<Attachment> attachments;
    bool cut = false;  // only the start of the message was read: it is too large to show whole
};

// Parses one RFC 5322 message with GMime, as a mail program shows it: any bytes
// are a message, and a file without a header is all body. "body" is the first
// plain-text part that is not an attachment (a part that names a file counts as
// text when no text came before it); a message with only HTML gets a text
// rendering of it, and one that only forwards a message shows that message's text.
// A message of more than kMaxParts MIME parts is read up to that many (and
// marked cut): each part costs the parser far more than its bytes.
ParsedMessage readMessage(std::string_view raw);

inline constexpr std::size_t kMaxParts = 1000;

// The header fields of `raw` alone, for message lists and indexes: the body is
// not parsed, so `raw` may be just the start of the file. Body, HTML and
// attachments stay empty.
ParsedMessage readMessageHeaders(std::string_view raw);

// What an index keeps of the header, read as readMessageHeaders reads it:
// "from", "fromName", "subject", "date", "time" and "messageId". The rest may
// be left empty. Most headers are read field by field, several times faster.
ParsedMessage readHeaderSummary(std::string_view raw);

// Dates a message that has no usable Date of its own by `deliveryTime` (seconds
// since the epoch, shown in UTC).
void dateByDelivery(ParsedMessage& message, std::int64_t deliveryTime);

}  // namespace quillbrook::dev_agent
