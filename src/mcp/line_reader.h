#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string_view>

#include "util/line_splitter.h"

namespace quillbrook {

// Splits what arrives on a descriptor into lines, with read(2) into one buffer:
// a final line without a line feed still counts. The terminator (a line feed,
// or a carriage return and a line feed) is removed; a carriage return at the
// very end of the input stays in its line.
//
// A line may hold at most a bound of bytes. A longer one is handed out as too
// long, without its text (LineSplitter's rule).
class LineReader {
public:
    // The longest line the MCP server takes, without its terminator.
    static constexpr std::size_t kMaxLineBytes = 64 * 1024 * 1024;
    static constexpr std::size_t kDefaultChunkBytes = 64 * 1024;

    struct Line {
        std::string_view text;  // empty when the line was too long
        bool tooLong = false;
    };

    explicit LineReader(int fd, std::size_t maxLineBytes = kMaxLineBytes, std::size_t chunkBytes = kDefaultChunkBytes);

    // The next line, valid until the next call; nothing once the input has
    // ended (or failed) and every line has been handed out.
    std::optional<Line> next();

private:
    struct Unmap {
        std::size_t bytes;
        void operator()(char* pages) const noexcept;
    };

    // The bytes read of the line not yet handed out.
    std::string_view pending() const { return {storage_.get() + lineStart_, end_ - lineStart_}; }
    // Appends one read's worth of bytes; false at end of input or on an error.
    bool fill();
    // Drops the lines already handed out, and the memory a huge one left behind.
    void compact();

    int fd_;
    LineSplitter splitter_;
    std::size_t chunkBytes_;
    std::size_t capacity_;
    std::unique_ptr<char, Unmap> storage_;  // the bytes read are [0, end_)
    std::size_t end_ = 0;
    std::size_t touched_ = 0;    // the pages below this may be resident
    std::size_t lineStart_ = 0;  // where the line not yet handed out begins
    bool ended_ = false;
};

}  // namespace quillbrook
