#include "dev_agent/actions.h"

#include <array>
#include <utility>

#include "dev_agent/agent_error.h"
#include "dev_agent/params.h"
#include "dev_agent/text.h"

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

std::string knownActions() {
    std::string names;
    for (const auto& [name, handler] : kActions) {
        names += (names.empty() ? "" : ", ") + std::string(name);
    }
    return names;
}

}  // namespace

json::Value performAction(ActionContext& context, std::string_view action, const json::Value& request) {
    for (const auto& [name, handler] : kActions) {
        if (name == action) {
            return handler(context, Params(request));
        }
    }
    throw AgentError("unknown_action", "unknown action " + quotedText(action) + "; known actions: " + knownActions());
}

const Account& accountFor(const ActionContext& context, const std::optional<std::string>& email) {
    const std::vector<Account>& accounts = context.mail.accounts();
    if (!email) {
        return accounts.front();
    }
    if (const Account* account = findAccount(accounts, *email)) {
        return *account;
    }
    std::string known;
    for (const auto& account : accounts) {
        known += (known.empty() ? "" : ", ") + account.email;
    }
    throw AgentError::notFound("no account " + quotedText(*email) + "; accounts: " + known);
}

}  // namespace quillbrook::dev_agent
