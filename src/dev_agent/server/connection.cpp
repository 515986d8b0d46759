#include "dev_agent/server/connection.h"

#include <cerrno>

#include "util/io.h"

namespace quillbrook::dev_agent {

namespace {

constexpr std::size_t kChunkBytes = 64 * 1024;

bool wouldBlock() { return errno == EAGAIN || errno == EWOULDBLOCK; }

}  // namespace

std::optional<RequestRead> RequestReader::readFrom(int fd) {
    using Kind = LineSplitter::Split::Kind;
    char chunk[kChunkBytes];
    for (;;) {
        ssize_t got = readSome(fd, chunk, sizeof chunk);
        if (got < 0 && wouldBlock()) {
            return std::nullopt;
        }
        LineSplitter::Split split;
        if (got <= 0) {
            split = splitter_.end(buffer_);
            if (split.kind == Kind::more) {
                return RequestRead{RequestRead::Status::closed, {}};
            }
        } else if (splitter_.dropping()) {
            split = splitter_.next(std::string_view(chunk, static_cast<std::size_t>(got)));  // nothing of it is kept
        } else {
            buffer_.append(chunk, static_cast<std::size_t>(got));
            split = splitter_.next(buffer_);
        }
        if (split.kind == Kind::line) {
            buffer_.resize(split.text.size());  // the line starts the buffer; what follows it is not read
            return RequestRead{RequestRead::Status::line, std::move(buffer_)};
        }
        if (split.consumed > 0) {
            std::string().swap(buffer_);
        }
        if (split.kind == Kind::tooLong) {
            return RequestRead{RequestRead::Status::tooLarge, {}};
        }
    }
}

RequestRead RequestReader::timedOut() const {
    return {splitter_.dropping() ? RequestRead::Status::tooLarge : RequestRead::Status::timedOut, {}};
}

bool writeAvailable(int fd, std::string_view& rest) {
    while (!rest.empty()) {
        ssize_t sent = writeSome(fd, rest, Sink::socket);
        if (sent < 0 && wouldBlock()) {
            return true;
        }
        if (sent <= 0) {
            return false;
        }
        rest.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

}  // namespace quillbrook::dev_agent
