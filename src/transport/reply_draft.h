#pragma once

#include <optional>
#include <string>

#include "json/json.h"
#include "transport/agent_socket_client.h"

namespace quillbrook {

// What a threaded reply draft is made of besides the message it answers, as
// `draft reply` and the MCP tool "reply_draft" both ask for it.
struct ReplyRequest {
    std::string messageId;               // the UID of the original
    std::string folder;                  // where the original is
    std::string body;                    // the reply text, above the quote
    std::optional<std::string> to;       // default: the original's sender
    std::optional<std::string> subject;  // default: "Re: " and the original's
    std::string target = "local";        // "server" saves it to the server's Drafts
    std::optional<std::string> account;  // default: the agent's own
};

// The "create_draft" parameters of the reply to `original`, a "read_email" result.
json::Value replyDraftParams(const ReplyRequest& reply, json::View original);

// Two agent requests: "read_email" for the original, then "create_draft" with
// the quote, the recipient, the subject and the threading. Returns the result
// of "create_draft"; throws CLISocketError as send() does, and when reading the
// original fails, no draft is created.
json::Document sendReplyDraft(const AgentSocketClient& client, const ReplyRequest& reply);

}  // namespace quillbrook
