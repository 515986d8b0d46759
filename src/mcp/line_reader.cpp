#include "mcp/line_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <unistd.h>

#include "util/descriptor_wait.h"

namespace quillbrook {

namespace {

// After a huge line the buffer gives its memory back once it is this large.
constexpr std::size_t kRetainedCapacity = 1024 * 1024;

std::string_view withoutCarriageReturn(std::string_view line) {
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    return line;
}

}  // namespace

LineReader::LineReader(int fd, std::size_t chunkBytes) : fd_(fd), chunkBytes_(chunkBytes) {}

std::optional<std::string_view> LineReader::next() {
    for (;;) {
        std::string_view received(buffer_.data(), end_);
        if (auto newline = received.find('\n', scanned_); newline != std::string_view::npos) {
            std::string_view line = received.substr(lineStart_, newline - lineStart_);
            lineStart_ = scanned_ = newline + 1;
            return withoutCarriageReturn(line);
        }
        scanned_ = end_;
        if (ended_ || !fill()) {
            ended_ = true;
            if (lineStart_ == end_) {
                return std::nullopt;
            }
            // Without a line feed after it, a final carriage return ends nothing.
            std::string_view line(buffer_.data() + lineStart_, end_ - lineStart_);
            lineStart_ = scanned_ = end_;
            return line;
        }
    }
}

void LineReader::compact() {
    if (lineStart_ == 0) {
        return;  // a line still arriving stays put: moving it on every read would cost quadratic time
    }
    std::memmove(buffer_.data(), buffer_.data() + lineStart_, end_ - lineStart_);
    end_ -= lineStart_;
    scanned_ -= lineStart_;
    lineStart_ = 0;
    if (buffer_.size() > kRetainedCapacity && end_ < kRetainedCapacity / 2) {
        buffer_.resize(std::max(end_, chunkBytes_));
        buffer_.shrink_to_fit();
    }
}

bool LineReader::fill() {
    compact();
    // The storage only grows (or shrinks after a huge line), so it is not
    // cleared again before every read.
    if (buffer_.size() - end_ < chunkBytes_) {
        buffer_.resize(std::max(buffer_.size() * 2, end_ + chunkBytes_));
    }
    for (;;) {
        ssize_t received = ::read(fd_, buffer_.data() + end_, chunkBytes_);
        if (received > 0) {
            end_ += static_cast<std::size_t>(received);
            return true;
        }
        if (received < 0 && errno == EINTR) {
            continue;
        }
        // A descriptor handed to us in non-blocking mode: wait until it has data.
        if (received < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && waitReadable(fd_)) {
            continue;
        }
        return false;
    }
}

}  // namespace quillbrook
