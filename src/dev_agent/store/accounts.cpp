#include "dev_agent/store/accounts.h"

#include <stdexcept>

#include "dev_agent/base/text.h"

namespace quillbrook::dev_agent {

Account parseAccountOption(std::string_view text) {
    auto equals = text.find('=');
    if (equals == std::string_view::npos) {
        throw std::invalid_argument("--account wants EMAIL=DIR[:NAME], got \"" + std::string(text) + "\"");
    }
    Account account;
    account.email = std::string(text.substr(0, equals));
    std::string_view rest = text.substr(equals + 1);
    auto colon = rest.find(':');
    account.root = std::string(rest.substr(0, colon));
    if (colon != std::string_view::npos) {
        account.name = std::string(rest.substr(colon + 1));
    }
    if (!isEmailAddress(account.email)) {
        throw std::invalid_argument("--account: \"" + account.email + "\" is not an e-mail address");
    }
    if (account.root.empty()) {
        throw std::invalid_argument("--account " + account.email + ": the Maildir directory is missing");
    }
    account.root = maildirRoot(account.root);
    return account;
}

bool isEmailAddress(std::string_view text) {
    auto at = text.find('@');
    return at != std::string_view::npos && at != 0 && at + 1 != text.size();
}

std::string maildirRoot(std::string_view directory) {
    while (directory.size() > 1 && directory.back() == '/') {
        directory.remove_suffix(1);
    }
    return std::string(directory);
}

const Account* findAccount(const std::vector<Account>& accounts, std::string_view email) {
    std::string wanted = asciiLower(email);
    for (const auto& account : accounts) {
        if (asciiLower(account.email) == wanted) {
            return &account;
        }
    }
    return nullptr;
}

}  // namespace quillbrook::dev_agent
