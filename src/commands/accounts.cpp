#include "commands/accounts.h"

#include "transport/agent_socket_client.h"
#include "transport/run_socket.h"
#include "transport/socket_error.h"

namespace quillbrook {

namespace {

void listAccounts(const Arguments&) { runSocket("list_accounts", json::Value::object()); }

// The current account is simply the first one the agent lists.
std::optional<json::View> firstAccount(json::View result) {
    auto accounts = result.find("accounts");
    if (!accounts || !accounts->isArray() || accounts->arraySize() == 0) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < accounts->arraySize(); ++i) {
        if (!accounts->at(i).isObject()) {
            return std::nullopt;
        }
    }
    return accounts->at(0);
}

void currentAccount(const Arguments&) {
    json::Document result = AgentSocketClient().send("list_accounts", json::Value::object());
    auto account = firstAccount(result.root());
    if (!account) {
        throw CommandFailure("No accounts configured", ExitStatus::failure);
    }
    printResult(*account);
}

}  // namespace

CommandDefinition accountsCommand() {
    return {
        .name = "accounts",
        .abstract = "List email accounts",
        .children =
            {
                {.name = "list", .abstract = "List all configured email accounts", .run = listAccounts},
                {.name = "current", .abstract = "Show the current/default account", .run = currentAccount},
            },
    };
}

}  // namespace quillbrook
