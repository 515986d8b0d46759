#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "dev_agent/accounts.h"

namespace quillbrook::dev_agent {

struct AgentOptions {
    std::string socketPath;
    std::vector<Account> accounts;
    std::string draftsDir;
    std::string stateDir;
    std::chrono::milliseconds requestTimeout{10000};
};

// The agent's defaults for an environment: the socket where the client looks
// first, and drafts and UID state beside it.
std::string defaultSocketPath(const std::string& home);
std::string besideSocket(const std::string& socketPath, const std::string& name);

// The home directory: $HOME, else the user database.
std::string homeDirectory();

// Checks what the options name before the agent takes the socket: every account
// a readable Maildir, no address given twice. Throws std::runtime_error.
void validateAccounts(const std::vector<Account>& accounts);

}  // namespace quillbrook::dev_agent
