#pragma once

#include "json/json.h"
#include "transport/reply_draft.h"

namespace quillbrook {

// The reply that a "reply_draft" call asks for. "email_id" (a string, or a
// whole number as its digits) and "body" are required; "folder", "to",
// "subject", "target" and "account" are strings when given. Throws
// MCPError::invalidArgument otherwise, before the agent is asked.
ReplyRequest replyRequest(const json::Value& arguments);

}  // namespace quillbrook
