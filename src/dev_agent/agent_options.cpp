#include "dev_agent/agent_options.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "dev_agent/base/text.h"
#include "dev_agent/maildir/drafts_folder.h"
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

namespace {

// The account's directory must hold Maildir folders, and its drafts folder must
// be one its layout can spell inside it.
void checkMailTree(const Account& account) {
    std::error_code error;
    if (!std::filesystem::is_directory(account.root, error)) {
        throw std::runtime_error("--account " + account.email + ": " + account.root + " is not a directory");
    }
    if (!detectMaildirLayout(account.root)) {
        throw std::runtime_error("--account " + account.email + ": " + account.root +
                                 " is not a Maildir tree (neither it nor a directory below it has cur/ or new/)");
    }
    try {
        draftsFolderOf(treeOf(account), account.draftsFolder);
    } catch (const std::invalid_argument& refused) {
        throw std::runtime_error("--account " + account.email + ": drafts folder: " + refused.what());
    }
}

}  // namespace

void validateAccounts(const std::vector<Account>& accounts) {
    if (accounts.empty()) {
        throw std::runtime_error("no accounts: pass --account EMAIL=DIR[:NAME] at least once");
    }
    for (std::size_t i = 0; i < accounts.size(); ++i) {
        const Account& account = accounts[i];
        checkMailTree(account);
        for (std::size_t j = 0; j < i; ++j) {
            if (asciiLower(accounts[j].email) == asciiLower(account.email)) {
                throw std::runtime_error("--account " + account.email + " is given twice");
            }
        }
    }
}

}  // namespace quillbrook::dev_agent
