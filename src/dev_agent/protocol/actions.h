#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dev_agent/store/local_drafts.h"
#include "dev_agent/store/mail_store.h"
#include "json/json.h"

namespace quillbrook::dev_agent {

class Params;

// What the actions work on; owned by main, alive while the agent serves.
struct ActionContext {
    MailStore& mail;
    LocalDraftStore& drafts;
};

// Performs `action` with the parameters in `request` and returns its result
// object. Throws AgentError ("unknown_action", "bad_request", "not_found", ...).
json::Value performAction(ActionContext& context, std::string_view action, json::View request);

// The action handlers, one per action name; mail_actions.cpp and
// draft_actions.cpp define them.
json::Value listAccounts(ActionContext& context, const Params& params);
json::Value listFolders(ActionContext& context, const Params& params);
json::Value listEmails(ActionContext& context, const Params& params);
json::Value readEmail(ActionContext& context, const Params& params);
json::Value listLocalDrafts(ActionContext& context, const Params& params);
json::Value readLocalDraft(ActionContext& context, const Params& params);
json::Value createDraft(ActionContext& context, const Params& params);

// The account named by the optional "account" parameter, or the default (first)
// account; AgentError "not_found" for an address the agent does not serve.
const Account& accountFor(const ActionContext& context, const std::optional<std::string>& email);

}  // namespace quillbrook::dev_agent
