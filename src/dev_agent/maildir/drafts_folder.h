#pragma once

#include <string_view>

#include "dev_agent/maildir/folder_tree.h"

namespace quillbrook::dev_agent {

// Where server drafts go, so that the sync tool uploads them to the server's
// drafts folder.
struct DraftsFolder {
    MaildirFolder folder;
    bool exists = true;  // false: made, in the tree's layout, with the first draft
};

// The folder `configured` names (either spelling) when it is not empty, made
// when missing; else the first folder named the way mail servers name their
// drafts folder ("Drafts", "[Gmail]/Drafts", "Entwürfe", "Brouillons", ...,
// also below INBOX, ignoring ASCII case); else "Drafts", made when the first
// draft comes. Throws std::invalid_argument for a configured name the layout
// cannot spell inside the tree (see newMaildirFolder).
DraftsFolder draftsFolderOf(const MaildirTree& tree, std::string_view configured);

}  // namespace quillbrook::dev_agent
