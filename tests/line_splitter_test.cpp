// The one line rule every reader shares: lines out of bytes however the reads
// fall, each held to its bound.

#include "util/line_splitter.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using quillbrook::LineSplitter;
using Ending = LineSplitter::Ending;
using Kind = LineSplitter::Split::Kind;

const std::string kTooLong = "<too long>";

struct Case {
    const char* behaviour;
    std::size_t maxLineBytes;
    Ending ending;
    std::vector<std::string> reads;
    std::vector<std::string> lines;  // kTooLong for a line beyond the bound
};

// Every line out of `reads`, kept the way a reader keeps them: the bytes of the
// line not yet handed out, which must never grow past the bound and its
// carriage return.
std::vector<std::string> linesOf(const Case& c) {
    LineSplitter splitter(c.maxLineBytes, c.ending);
    std::vector<std::string> lines;
    auto record = [&](const LineSplitter::Split& split) {
        lines.push_back(split.kind == Kind::tooLong ? kTooLong : std::string(split.text));
    };
    std::string pending;
    for (const std::string& read : c.reads) {
        pending += read;
        for (;;) {
            LineSplitter::Split split = splitter.next(pending);
            if (split.kind != Kind::more) {
                record(split);
            }
            pending.erase(0, split.consumed);
            if (split.kind == Kind::more) {
                break;
            }
        }
        EXPECT_LE(pending.size(), c.maxLineBytes + 1) << "after reading \"" << read << "\"";
    }
    if (LineSplitter::Split last = splitter.end(pending); last.kind != Kind::more) {
        record(last);
    }
    return lines;
}

TEST(LineSplitter, HandsOutEachLineOrTooLongHoweverTheReadsFall) {
    const std::vector<Case> cases = {
        {"lines split wherever the reads end", 8, Ending::lineFeed, {"ab", "c\nde\n", "f"}, {"abc", "de", "f"}},
        {"empty lines are lines; no input is none", 8, Ending::lineFeed, {"", "\n\n"}, {"", ""}},
        {"a line at the bound is taken, one byte more is not, the next is",
         3,
         Ending::lineFeed,
         {"abc\nabcd\nxy\n"},
         {"abc", kTooLong, "xy"}},
        {"a long line is dropped across reads up to its line feed",
         3,
         Ending::lineFeed,
         {"abcdef", "ghi", "jk\nok\n"},
         {kTooLong, "ok"}},
        {"input that ends inside a dropped line ends it as too long", 2, Ending::lineFeed, {"abcd"}, {kTooLong}},
        {"a line feed alone keeps a carriage return in the line and its bound",
         3,
         Ending::lineFeed,
         {"ab\r\nabc\r\n"},
         {"ab\r", kTooLong}},
        {"a carriage return before the line feed ends the line, outside the bound",
         3,
         Ending::lineFeedOrCrLf,
         {"abc\r", "\n", "ab\r\r\n"},
         {"abc", "ab\r"}},
        {"a line one beyond the bound waits for its terminator and is too long",
         3,
         Ending::lineFeedOrCrLf,
         {"abcd", "\n", "ok\n"},
         {kTooLong, "ok"}},
        {"a final line without a line feed counts, its carriage return stays",
         8,
         Ending::lineFeedOrCrLf,
         {"a\r\nb\r"},
         {"a", "b\r"}},
        {"a final carriage return counts against the bound", 1, Ending::lineFeedOrCrLf, {"b\r"}, {kTooLong}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(linesOf(c), c.lines) << c.behaviour;
    }
}

}  // namespace
