#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dev_agent/maildir/file_names.h"

namespace quillbrook::dev_agent {

// One message file of a Maildir folder. Its unique name (the file name before
// the ":2," info) never changes, even when a mail program renames the file to
// record new flags or moves it from new/ to cur/. The fields sync tools add to
// it once they know the message's UID on the server (mbsync's ",U=17",
// offlineimap's ",U=17,FMD5=<hex>") are no part of it: the file renamed so is
// the same message.
struct MaildirEntry {
    std::string uniqueName;
    std::string path;
    std::vector<std::string> flags;  // "draft", "flagged", "passed", "answered", "seen", "trashed"
};

// A folder of an account's tree (see folder_tree.h): its name as the server
// has it ("Lists/Rust"), modified UTF-7 decoded (".Entw&APw-rfe" is "Entwürfe").
struct MaildirFolder {
    std::string name;
    std::string path;
    std::string storedName;  // the name as spelt on disk; empty when it is `name`
};

// The unique name and flags encoded in a file name, whatever bytes it holds;
// nothing for names a Maildir reader must skip (those starting with a dot).
std::optional<MaildirEntry> parseMaildirFileName(std::string_view fileName);
// Whether parseMaildirFileName reads `fileName` as a message's, without the cost of reading it.
bool isMessageFileName(std::string_view fileName);

// The names of the message files in `directory` (a folder's cur/ or new/),
// in the directory's order; a missing directory is empty. Entries that are plainly no files are
// left out; whether a link or an entry of unknown type is a message is told
// when it is opened. Throws std::system_error when the directory is there but
// cannot be listed (no permission, EIO, ESTALE, EMFILE): taken as empty, it
// would drop the folder's messages from the index.
FileNames messageFileNames(const std::string& directory);

// The message file of the folder at `folderPath` whose unique name is
// `uniqueName`, in cur/ or new/, whatever its flags: where a message went that
// a mail program renamed. Nothing when there is none.
std::optional<MaildirEntry> findByUniqueName(const std::string& folderPath, std::string_view uniqueName);

// When the message was delivered: the time a delivery agent puts at the start of
// the unique name ("1740989520.M101P4101.host"), else the file's modification
// time; nothing when neither can be read.
std::optional<std::int64_t> deliveryTimeOf(const MaildirEntry& entry);

// True when `path` looks like a Maildir: it has a cur/ or new/ directory.
bool isMaildir(const std::string& path);

// Saves a draft into the folder as mail programs save one, so that sync tools
// upload it as a new message flagged Draft and Seen: written to tmp/,
// flushed, then renamed to cur/<unique name>:2,DS (a name without a sync
// tool's UID field). Creates the folder's directories when they are missing.
MaildirEntry saveDraftToMaildir(const std::string& folderPath, std::string_view message);

}  // namespace quillbrook::dev_agent
