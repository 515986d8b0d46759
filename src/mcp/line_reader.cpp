#include "mcp/line_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include <sys/mman.h>
#include <unistd.h>

#include "util/descriptor_wait.h"

namespace quillbrook {

namespace {

// After a huge line the pages above this go back to the system. A multiple of
// every page size, so that the pages above it start on a page boundary.
constexpr std::size_t kRetainedBytes = 1024 * 1024;

// The buffer is one anonymous mapping as large as the longest line, a carriage
// return and one read. Its pages become resident only as bytes are read into
// them, so a line costs its own size once: a growing heap buffer would copy a
// long line at every growth and leave the old copies resident.
char* mapPages(std::size_t bytes) {
    void* pages = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANON, -1, 0);
    if (pages == MAP_FAILED) {
        throw std::bad_alloc();
    }
    return static_cast<char*>(pages);
}

}  // namespace

LineReader::LineReader(int fd, std::size_t maxLineBytes, std::size_t chunkBytes)
    : fd_(fd),
      splitter_(maxLineBytes, LineSplitter::Ending::lineFeedOrCrLf),
      chunkBytes_(chunkBytes),
      capacity_(maxLineBytes + 1 + chunkBytes),
      storage_(mapPages(capacity_), Unmap{capacity_}) {}

void LineReader::Unmap::operator()(char* pages) const noexcept { ::munmap(pages, bytes); }

std::optional<LineReader::Line> LineReader::next() {
    using Kind = LineSplitter::Split::Kind;
    for (;;) {
        LineSplitter::Split split = splitter_.next(pending());
        // A line dropped as too long goes as it arrives: the next read overwrites it.
        lineStart_ += split.consumed;
        if (split.kind == Kind::more && (ended_ || !fill())) {
            ended_ = true;
            split = splitter_.end(pending());
            lineStart_ = end_;
            if (split.kind == Kind::more) {
                return std::nullopt;
            }
        }
        if (split.kind != Kind::more) {
            return Line{split.text, split.kind == Kind::tooLong};
        }
    }
}

void LineReader::compact() {
    if (lineStart_ == 0) {
        return;  // a line still arriving stays put: moving it on every read would cost quadratic time
    }
    // What is left after the lines handed out came with the last read, so at most one read's worth moves.
    std::memmove(storage_.get(), storage_.get() + lineStart_, end_ - lineStart_);
    end_ -= lineStart_;
    lineStart_ = 0;
    if (touched_ > kRetainedBytes && end_ <= kRetainedBytes) {
        // Only advice where it is not honoured: the pages then stay, and stay correct.
        ::madvise(storage_.get() + kRetainedBytes, touched_ - kRetainedBytes, MADV_DONTNEED);
        touched_ = kRetainedBytes;
    }
}

bool LineReader::fill() {
    compact();
    // Room for a whole read is certain: what stays after compacting is part of
    // one line within its bound, or nothing when that line is being skipped.
    for (;;) {
        ssize_t received = ::read(fd_, storage_.get() + end_, chunkBytes_);
        if (received > 0) {
            end_ += static_cast<std::size_t>(received);
            touched_ = std::max(touched_, end_);
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
