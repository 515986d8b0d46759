#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "dev_agent/store/accounts.h"

namespace quillbrook::dev_agent {

struct AgentOptions {
    std::string socketPath;
    std::vector<Account> accounts;
    std::string draftsDir;
    std::string stateDir;
    std::chrono::milliseconds requestTimeout{10000};
};

// The agent's defaults: the socket where the client looks first (under $HOME,
// else the user database's home), and drafts and UID state beside it.
std::string defaultSocketPath();
std::string besideSocket(const std::string& socketPath, const std::string& name);

// Checks what the options name before the agent takes the socket: every account
// a tree of Maildir folders in any layout, with a drafts folder it can spell; no
// address given twice. Throws std::runtime_error.
void validateAccounts(const std::vector<Account>& accounts);

}  // namespace quillbrook::dev_agent
