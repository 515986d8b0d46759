#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillbrook::dev_agent {

struct OutgoingMessage {
    std::string fromName;
    std::string fromEmail;
    std::string to;
    std::string cc;
    std::string bcc;
    std::string subject;
    std::string body;
    std::string bodyHTML;                 // empty: a plain-text message
    std::string inReplyTo;                // "<id>" or empty
    std::vector<std::string> references;  // "<id>" each
};

// Why `addresses` is not a usable list of recipients ("a@b, Name <c@d>"), or
// nothing when it is. An empty text is not a list.
std::optional<std::string> addressListProblem(std::string_view addresses);

// True for one message id in angle brackets: "<local@domain>", no white space.
bool isMessageId(std::string_view text);

struct ComposedMessage {
    std::string text;
    std::string messageId;  // "<id>"
};

// An RFC 5322 message with MIME parts, written by GMime: header text encoded as
// needed, UTF-8 bodies in a 7-bit-safe transfer encoding, Date now, a fresh
// Message-ID on the sender's domain, and multipart/alternative when there is an
// HTML body. The recipients must have passed addressListProblem.
ComposedMessage composeMessage(const OutgoingMessage& message);

}  // namespace quillbrook::dev_agent
