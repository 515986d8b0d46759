#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace quillbrook {

// Splits what arrives on a descriptor into lines, with read(2) and one growing
// buffer: a line may be any length, and a final line without a line feed still
// counts. The terminator (a line feed, or a carriage return and a line feed)
// is removed; a carriage return at the very end of the input stays in its line.
class LineReader {
public:
    static constexpr std::size_t kDefaultChunkBytes = 64 * 1024;

    explicit LineReader(int fd, std::size_t chunkBytes = kDefaultChunkBytes);

    // The next line, valid until the next call; nothing once the input has
    // ended (or failed) and every line has been handed out.
    std::optional<std::string_view> next();

private:
    // Appends one read's worth of bytes; false at end of input or on an error.
    bool fill();
    // Drops the lines already handed out, and the memory a huge one left behind.
    void compact();

    int fd_;
    std::size_t chunkBytes_;
    std::string buffer_;         // storage only: the bytes read are [0, end_)
    std::size_t end_ = 0;
    std::size_t lineStart_ = 0;  // where the line not yet handed out begins
    std::size_t scanned_ = 0;    // bytes before this hold no line feed of that line
    bool ended_ = false;
};

}  // namespace quillbrook
