#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dev_agent/maildir/maildir.h"
#include "dev_agent/maildir/maildir_layout.h"

namespace quillbrook::dev_agent {

// An account's tree of Maildir folders and how it spells them on disk.
struct MaildirTree {
    std::string root;
    MaildirLayout layout = MaildirLayout::detect;  // detect: told from the tree at each look
};

// The layout of the tree at `root` by what is on disk: Maildir++ when the root
// is a Maildir with ".Name" folders beside its cur/; a directory per folder
// when folders nest ("Lists/Rust/cur": verbatim) or, all at the top, when a
// name joins levels with a dot ("Lists.Rust/cur": dotted). Nothing when
// neither the root nor any directory below it is a Maildir.
std::optional<MaildirLayout> detectMaildirLayout(const std::string& root);

// `tree`'s layout, told from the disk when it says detect (Maildir++ for a tree
// that holds no Maildir yet).
MaildirLayout layoutOf(const MaildirTree& tree);

// The folders of the tree under the server's names ("Lists/Rust" however the
// layout spells it, modified UTF-7 decoded): INBOX first, then the others by
// name. INBOX is the root in Maildir++; in the other layouts it is a top-level
// folder called INBOX in any case ("INBOX/", "Inbox/"), else the root when that
// is a Maildir. Only directories inside the tree count: hidden names, cur/,
// new/ and tmp/ are skipped, a link is followed only to a directory inside the
// tree, and folders nest at most kMaxFolderDepth deep. A directory that is no
// Maildir but holds folders ("Lists/" of "Lists/Rust/cur") is no folder.
std::vector<MaildirFolder> discoverMaildirFolders(const MaildirTree& tree);

// How deep the folders of a tree may nest below its root.
inline constexpr int kMaxFolderDepth = 10;

// The folder called `name`, shown or stored spelling: exact match first, then a
// match ignoring ASCII case (INBOX is case-insensitive by convention, and
// "archive" for "Archive" is what a user means). Only folders that exist on
// disk can be named, so a name can never reach outside the account's tree.
std::optional<MaildirFolder> findMaildirFolder(const MaildirTree& tree, std::string_view name);

// Where a folder called `name` ("Drafts", "Lists/Rust") goes in the tree's
// layout when it is made (".Drafts" in Maildir++, "Drafts/" otherwise). Throws
// std::invalid_argument, saying why, for a name the layout cannot spell inside
// the tree: an empty level, ".", "..", a level starting with a dot, the
// layout's own separator within a level, or a name that is not ASCII (the
// sync tool makes those, in the encoding it chose).
MaildirFolder newMaildirFolder(const MaildirTree& tree, std::string_view name);

}  // namespace quillbrook::dev_agent
