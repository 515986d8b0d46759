#include "dev_agent/protocol/actions.h"

#include <array>
#include <utility>

#include "dev_agent/base/text.h"
#include "dev_agent/protocol/agent_error.h"
#include "dev_agent/protocol/params.h"

namespace quillbrook::dev_agent {

namespace {

using Handler = json::Value (*)(ActionContext&, const Params&);

constexpr std::array<std::pair<std::string_view, Handler>, 7> kActions = {{
    {"list_accounts", listAccounts},
    {"list_folders", listFolders},
    {"list_emails", listEmails},
    {"read_email", readEmail},
    {"list_local_drafts", listLocalDrafts},
    {"read_local_draft", readLocalDraft},
    {"create_draft", createDraft},
}};

}  // namespace

json::Value performAction(ActionContext& context, std::string_view action, json::View request) {
    for (const auto& [name, handler] : kActions) {
        if (name == action) {
            return handler(context, Params(request));
        }
    }
    throw AgentError("unknown_action", "unknown action " + quotedText(action) + "; known actions: " +
                                           commaJoined(kActions, [](const auto& entry) { return entry.first; }));
}

const Account& accountFor(const ActionContext& context, const std::optional<std::string>& email) {
    const std::vector<Account>& accounts = context.mail.accounts();
    if (!email) {
        return accounts.front();
    }
    if (const Account* account = findAccount(accounts, *email)) {
        return *account;
    }
    throw AgentError::notFound("no account " + quotedText(*email) + "; accounts: " +
                               commaJoined(accounts, [](const Account& account) { return account.email; }));
}

}  // namespace quillbrook::dev_agent
