#include "dev_agent/agent_options.h"

#include <cstdlib>
#include <stdexcept>

#include "dev_agent/base/text.h"
#include "dev_agent/maildir/maildir.h"
#include "util/agent_paths.h"

namespace quillbrook::dev_agent {

std::string defaultSocketPath() {
    const char* variable = std::getenv("HOME");
    std::string home = homeDirectory(variable != nullptr ? variable : "");
    if (home.empty()) {
        throw std::runtime_error("no home directory: set HOME or pass --socket");
    }
    return defaultAgentSocketPath(home);
}

std::string besideSocket(const std::string& socketPath, const std::string& name) {
    auto slash = socketPath.find_last_of('/');
    return slash == std::string::npos ? name : socketPath.substr(0, slash + 1) + name;
}

void validateAccounts(const std::vector<Account>& accounts) {
    if (accounts.empty()) {
        throw std::runtime_error("no accounts: pass --account EMAIL=DIR[:NAME] at least once");
    }
    for (std::size_t i = 0; i < accounts.size(); ++i) {
        const Account& account = accounts[i];
        if (!isMaildir(account.root)) {
            throw std::runtime_error("--account " + account.email + ": " + account.root +
                                     " is not a Maildir (it has neither cur/ nor new/)");
        }
        for (std::size_t j = 0; j < i; ++j) {
            if (asciiLower(accounts[j].email) == asciiLower(account.email)) {
                throw std::runtime_error("--account " + account.email + " is given twice");
            }
        }
    }
}

}  // namespace quillbrook::dev_agent
