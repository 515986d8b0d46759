#pragma once

#include <cstddef>
#include <string_view>

namespace quillbrook {

// The one rule for lines that arrive in pieces: a line ends at a line feed and
// holds at most a bound of bytes. A longer one is handed out as too long,
// without its text, and its bytes are dropped as they arrive, up to its line
// feed, so that no sender can make a reader hold more than the bound.
//
// The splitter keeps no bytes, so each reader keeps them as suits it. After
// each read the reader passes the bytes it holds from the start of the line
// not yet handed out (`pending`) and removes the first `consumed` of them.
// Bytes already searched are not searched again, so a long line costs one pass.
class LineSplitter {
public:
    enum class Ending {
        lineFeed,        // a carriage return before the line feed is part of the line
        lineFeedOrCrLf,  // a carriage return before the line feed is part of the terminator
    };

    struct Split {
        enum class Kind {
            more,     // no line ends in `pending` yet
            line,     // `text` is the line, without its terminator
            tooLong,  // a line beyond the bound ended
        };
        Kind kind = Kind::more;
        std::string_view text;     // part of `pending`; empty unless a line
        std::size_t consumed = 0;  // bytes of `pending` to remove: a whole line, or what is dropped
    };

    LineSplitter(std::size_t maxLineBytes, Ending ending) : maxLineBytes_(maxLineBytes), ending_(ending) {}

    // The line that ends in `pending`, or more to come.
    Split next(std::string_view pending);
    // The input has ended: `pending` is its last line, without a line feed
    // (a final carriage return stays in it), or nothing when it is empty.
    Split end(std::string_view pending);
    // Whether the line arriving is already known to be too long.
    bool dropping() const { return dropping_; }

private:
    // The line or too long, for `text` that a terminator of `consumed` bytes with it ended.
    Split finish(std::string_view text, std::size_t consumed);

    std::size_t maxLineBytes_;
    Ending ending_;
    std::size_t searched_ = 0;  // bytes of `pending` that hold no line feed
    bool dropping_ = false;
};

}  // namespace quillbrook
