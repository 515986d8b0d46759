#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "dev_agent/maildir/folder_tree.h"

namespace quillbrook::dev_agent {

struct Account {
    std::string email;
    std::string name;
    std::string root;  // the account's Maildir tree
    MaildirLayout layout = MaildirLayout::detect;
    std::string draftsFolder = {};  // where server drafts go; empty: found by name
};

// The account's tree of Maildir folders.
inline MaildirTree treeOf(const Account& account) { return {account.root, account.layout}; }

// Reads "EMAIL=DIR" or "EMAIL=DIR:NAME". The name is everything after the first
// colon behind "=", so a name may contain colons and a directory may not. Throws
// std::invalid_argument with a message fit for the user.
Account parseAccountOption(std::string_view text);

// Whether `text` has the shape of an e-mail address: a local part, "@", a domain.
bool isEmailAddress(std::string_view text);

// `directory` as an account keeps its Maildir root: without trailing slashes.
std::string maildirRoot(std::string_view directory);

// Finds the account by e-mail address, ignoring ASCII case; nullptr when none.
const Account* findAccount(const std::vector<Account>& accounts, std::string_view email);

}  // namespace quillbrook::dev_agent
