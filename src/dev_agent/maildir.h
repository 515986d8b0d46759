#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillbrook::dev_agent {

// One message file of a Maildir folder. Its unique name (the file name before the
// ":2," info) never changes, even when a mail program renames the file to record
// new flags or moves it from new/ to cur/.
struct MaildirEntry {
    std::string uniqueName;
    std::string path;
    std::vector<std::string> flags;  // "draft", "flagged", "passed", "answered", "seen", "trashed"
};

// A folder of an account's Maildir++ tree: INBOX is the root directory, a
// subfolder is a directory ".Name" beside cur/new/tmp (".Lists.Rust" is
// "Lists/Rust").
struct MaildirFolder {
    std::string name;
    std::string path;
};

// The unique name and flags encoded in a file name; nothing for names a Maildir
// reader must skip (those starting with a dot).
std::optional<MaildirEntry> parseMaildirFileName(std::string_view fileName);

// The messages in cur/ and new/ of the folder at `folderPath`, in no defined order.
// Missing subdirectories count as empty.
std::vector<MaildirEntry> listMaildirMessages(const std::string& folderPath);

// INBOX first, then the subfolders by name.
std::vector<MaildirFolder> discoverMaildirFolders(const std::string& root);

// The folder called `name`: exact match first, then a match ignoring ASCII case
// (INBOX is case-insensitive by convention, and "archive" for "Archive" is what a
// user means). Only folders that exist on disk can be named, so a name can never
// reach outside the account's tree.
std::optional<MaildirFolder> findMaildirFolder(const std::string& root, std::string_view name);

// True when `path` looks like a Maildir: it has a cur/ or new/ directory.
bool isMaildir(const std::string& path);

// Puts a new message into the folder the way a delivery agent does: written to
// tmp/, flushed, then renamed into new/. Returns the unique name. Creates the
// folder's directories when they are missing.
std::string deliverToMaildir(const std::string& folderPath, std::string_view message);

}  // namespace quillbrook::dev_agent
