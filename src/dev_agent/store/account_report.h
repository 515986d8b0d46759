#pragma once

#include <string>

#include "dev_agent/store/accounts.h"

namespace quillbrook::dev_agent {

// What the agent would serve of `account`, as lines for a person to read:
// its address, name, Maildir root, layout, folders and drafts folder. Looks at
// the tree on disk, never at the index.
std::string describeAccount(const Account& account);

}  // namespace quillbrook::dev_agent
