#pragma once

#include <cstddef>

#include "dev_agent/maildir/maildir.h"
#include "dev_agent/mime/message_reader.h"

namespace quillbrook::dev_agent {

// A Maildir message file as the agent shows it; a message without a usable Date
// is dated by its delivery. Only a regular file is a message: anything else (a
// FIFO, a device, a directory, also behind a symbolic link) throws
// NotARegularFile, without ever waiting on it. Both throw std::system_error when
// the file cannot be read.
ParsedMessage readMessageFile(const MaildirEntry& entry);

// Only the header fields an index keeps (see readHeaderSummary): reads the
// file no further than its header block (at most kMaxHeaderBytes).
ParsedMessage readMessageFileSummary(const MaildirEntry& entry);

// A header block longer than this is cut; no sane header comes near it.
inline constexpr std::size_t kMaxHeaderBytes = 256 * 1024;

// How much of a message file is read: past it the message is shown cut (its
// header, the start of its body and a note), so that one huge file cannot take
// the agent's memory. Parsing costs a small multiple of what is read.
inline constexpr std::size_t kMaxMessageBytes = 16 * 1024 * 1024;

}  // namespace quillbrook::dev_agent
