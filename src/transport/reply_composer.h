#pragma once

#include <optional>
#include <string>

#include "json/json.h"

namespace quillbrook {

// The parts of the replied-to message that a reply is built from; each is empty
// when the agent's answer lacks it or holds something other than a string.
struct RepliedMessage {
    std::string from;
    std::string fromName;
    std::string subject;
    std::string date;
    std::string body;
};

// The parts of a "read_email" result that a reply needs.
RepliedMessage repliedMessage(json::View readEmailResult);

// "Re: " and the subject, unless it already starts with "re:" in any letter case.
std::string replySubject(const std::string& originalSubject);

// "> " before every line; a line ends at each line feed, and a carriage return
// stays at the end of its line, so CRLF bodies are quoted line by line too.
std::string quoteBody(const std::string& body);

// The reply text, then "On <date>, <sender> wrote:" and the quoted original.
std::string replyBody(const std::string& replyText, const RepliedMessage& original);

}  // namespace quillbrook
