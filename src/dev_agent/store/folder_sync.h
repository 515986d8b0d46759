#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "dev_agent/maildir/maildir.h"
#include "dev_agent/store/mail_index.h"

namespace quillbrook::dev_agent {

// Brings the index of one folder in line with its cur/ and new/ directories.
//
// A Maildir file never changes under its name (a new flag renames it), so the
// directories' modification times tell whether anything arrived, moved or went
// away. A directory whose time differs from the one the index kept is listed
// and compared by file name; only the files that are new to the index are
// opened, and of those only the header is read. Everything else is taken from
// the index as it is. A time that is younger than a few seconds is not kept,
// since a change within the file system's clock tick would not move it.
//
// Changes are written in batches of one transaction each, with progress in the
// log for large folders. `stopRequested` is asked between batches; a folder
// left half done is finished by the next call. Never writes to the Maildir.
void syncFolder(
    MailIndex& index, const std::string& account, const MaildirFolder& folder, std::int64_t folderId,
    const std::function<bool()>& stopRequested = [] { return false; });

}  // namespace quillbrook::dev_agent
