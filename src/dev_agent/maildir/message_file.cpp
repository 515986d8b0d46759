#include "dev_agent/maildir/message_file.h"

#include <algorithm>
#include <cerrno>

#include <unistd.h>

#include "dev_agent/mime/header_block.h"
#include "util/files.h"
#include "util/io.h"
#include "util/unique_fd.h"

namespace quillbrook::dev_agent {

namespace {

// Most header blocks fit in the first read.
constexpr std::size_t kHeaderReadBytes = 16 * 1024;

// A header block is complete once a line that cannot belong to it has been read.
bool holdsWholeHeader(std::string_view start) {
    HeaderBlock header = findHeaderBlock(start);
    return header.endsWithBlankLine || header.end < start.size();
}

// Up to `limit` bytes from the start of the file; `cut` says whether more was there.
std::string readStart(int fd, const std::string& path, std::size_t limit, bool& cut) {
    std::string bytes;
    char buffer[65536];
    for (;;) {
        ssize_t got = readSome(fd, buffer, sizeof buffer);
        if (got < 0) {
            throwErrno("cannot read " + path);
        }
        std::size_t room = limit - bytes.size();
        cut = static_cast<std::size_t>(got) > room;
        bytes.append(buffer, std::min(static_cast<std::size_t>(got), room));
        if (got == 0 || bytes.size() == limit) {
            cut = cut || (bytes.size() == limit && readSome(fd, buffer, 1) > 0);
            return bytes;
        }
    }
}

// The start of the file up to the end of its header block, or the whole file
// when it is shorter.
std::string readHeaderBytes(const std::string& path) {
    UniqueFd fd = openRegularFile(path);
    std::string start;
    while (start.size() < kMaxHeaderBytes) {
        std::size_t had = start.size();
        start.resize(had + kHeaderReadBytes);
        ssize_t got = readSome(fd.get(), start.data() + had, kHeaderReadBytes);
        if (got < 0) {
            throwErrno("cannot read " + path);
        }
        start.resize(had + static_cast<std::size_t>(got));
        if (got == 0 || holdsWholeHeader(start)) {
            break;
        }
    }
    return start;
}

ParsedMessage withDeliveryDate(ParsedMessage message, const MaildirEntry& entry) {
    if (!message.time) {
        if (std::optional<std::int64_t> delivered = deliveryTimeOf(entry)) {
            dateByDelivery(message, *delivered);
        }
    }
    return message;
}

}  // namespace

ParsedMessage readMessageFile(const MaildirEntry& entry) {
    UniqueFd fd = openRegularFile(entry.path);
    bool cut = false;
    ParsedMessage message = readMessage(readStart(fd.get(), entry.path, kMaxMessageBytes, cut));
    message.cut = message.cut || cut;
    return withDeliveryDate(std::move(message), entry);
}

ParsedMessage readMessageFileSummary(const MaildirEntry& entry) {
    return withDeliveryDate(readHeaderSummary(readHeaderBytes(entry.path)), entry);
}

}  // namespace quillbrook::dev_agent
