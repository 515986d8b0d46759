#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quillbrook::dev_agent {

struct Account {
    std::string email;
    std::string name;
    std::string root;  // the Maildir whose root is INBOX
};

// Reads "EMAIL=DIR" or "EMAIL=DIR:NAME". The name is everything after the first
// colon behind "=", so a name may contain colons and a directory may not. Throws
// std::invalid_argument with a message fit for the user.
Account parseAccountOption(std::string_view text);

// Finds the account by e-mail address, ignoring ASCII case; nullptr when none.
const Account* findAccount(const std::vector<Account>& accounts, std::string_view email);

}  // namespace quillbrook::dev_agent
