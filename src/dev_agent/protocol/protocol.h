#pragma once

#include <string>
#include <string_view>

#include "dev_agent/protocol/actions.h"

namespace quillbrook::dev_agent {

// The longest request line the agent reads, line feed excluded.
inline constexpr std::size_t kMaxRequestBytes = 1024 * 1024;

// The longest answer line a client accepts, line feed excluded.
inline constexpr std::size_t kMaxAnswerBytes = 1024 * 1024;

struct Answer {
    std::string line;    // the answer, ending in a line feed
    std::string action;  // for the log; empty when the request named none
    std::string code;    // "ok", or the error code
    std::string error;   // the error message, for the log
};

// Turns one request line (without its line feed) into the answer line: parse,
// check the envelope, perform the action, wrap result or error. Never throws.
Answer answerRequest(ActionContext& context, std::string_view line);

// The answer for an error found before the request could be read (too large,
// too slow): {"ok":false,"code":code,"error":message}.
Answer errorAnswer(const std::string& code, const std::string& message);

}  // namespace quillbrook::dev_agent
