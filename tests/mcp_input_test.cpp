// How the MCP server takes its input apart: lines out of a descriptor, however
// the reads fall.

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "mcp/line_reader.h"

namespace {

using quillbrook::LineReader;

const std::string kTooLong = "<too long>";

// Every line a reader hands out for `input`, read `chunkBytes` at a time, with
// kTooLong for each line longer than `maxLineBytes`.
std::vector<std::string> linesOf(const std::string& input, std::size_t chunkBytes,
                                 std::size_t maxLineBytes = LineReader::kMaxLineBytes) {
    FILE* file = std::tmpfile();
    std::fwrite(input.data(), 1, input.size(), file);
    std::fflush(file);
    std::rewind(file);
    LineReader reader(fileno(file), maxLineBytes, chunkBytes);
    std::vector<std::string> lines;
    while (auto line = reader.next()) {
        EXPECT_TRUE(line->text.empty() || !line->tooLong);
        lines.emplace_back(line->tooLong ? kTooLong : std::string(line->text));
    }
    EXPECT_FALSE(reader.next()) << "input ended once, stays ended";
    std::fclose(file);
    return lines;
}

TEST(McpLineReader, SplitsAtLineFeedsWhereverTheReadsEnd) {
    struct Case {
        std::string input;
        std::vector<std::string> lines;
    };
    const std::vector<Case> cases = {
        {"", {}},
        {"a\nbc\n", {"a", "bc"}},
        {"a\r\nb\r\n", {"a", "b"}},  // a carriage return before the line feed goes too
        {"a\r\r\n", {"a\r"}},        // but only one
        {"\n\r\n\n", {"", "", ""}},  // empty lines are lines; skipping them is the server's business
        {"last without feed", {"last without feed"}},
        {"x\nlast\r", {"x", "last\r"}},  // only a line feed ends a line
        {"a\n\r", {"a", "\r"}},
        {"a\rb\n", {"a\rb"}},  // a carriage return inside a line stays
        {std::string("nul\0inside\n", 11), {std::string("nul\0inside", 10)}},
    };
    for (const Case& c : cases) {
        for (std::size_t chunk : {1, 2, 3, 7, 65536}) {
            EXPECT_EQ(linesOf(c.input, chunk), c.lines)
                << "input " << testing::PrintToString(c.input) << ", chunk " << chunk;
        }
    }
}

TEST(McpLineReader, HandsOutLinesFarLongerThanOneRead) {
    const std::string huge(3 * 1024 * 1024 + 17, 'x');
    const std::string input = "small\n" + huge + "\r\nafter\n" + huge;
    EXPECT_EQ(linesOf(input, 4096), (std::vector<std::string>{"small", huge, "after", huge}));
}

TEST(McpLineReader, RefusesLinesBeyondTheBoundAndGoesOnAfterThem) {
    struct Case {
        std::string input;
        std::vector<std::string> lines;
    };
    // With a bound of four bytes.
    const std::vector<Case> cases = {
        {"abcd\nabcde\nok\n", {"abcd", kTooLong, "ok"}},
        {"abcd\r\nabcd\r\r\n", {"abcd", kTooLong}},  // the terminator is not part of the line
        {"abcde", {kTooLong}},                       // nor is a missing one
        {"abcd", {"abcd"}},
        {"abcd\r", {kTooLong}},  // a final carriage return is in the line
        {std::string(1000, 'x') + "\n\nlast", {kTooLong, "", "last"}},
        {std::string(1000, 'x') + "\r\n" + std::string(1000, 'y') + "\nz\n", {kTooLong, kTooLong, "z"}},
        {"abcde\r\nabc\r\n", {kTooLong, "abc"}},
    };
    for (const Case& c : cases) {
        for (std::size_t chunk : {1, 2, 3, 7, 64, 65536}) {
            EXPECT_EQ(linesOf(c.input, chunk, 4), c.lines)
                << "input " << testing::PrintToString(c.input.substr(0, 40)) << ", chunk " << chunk;
        }
    }
}

TEST(McpLineReader, ReadsFromAPipeUntilItsWriterCloses) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const std::string input = "one\ntwo";
    ASSERT_EQ(::write(fds[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
    ::close(fds[1]);
    LineReader reader(fds[0]);
    EXPECT_EQ(reader.next().value().text, "one");
    EXPECT_EQ(reader.next().value().text, "two");
    EXPECT_FALSE(reader.next());
    ::close(fds[0]);
}

TEST(McpLineReader, WaitsOnANonBlockingDescriptorInsteadOfEndingTheInput) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ::fcntl(fds[0], F_SETFL, ::fcntl(fds[0], F_GETFL) | O_NONBLOCK);
    std::thread writer([fd = fds[1]] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ASSERT_EQ(::write(fd, "late\n", 5), 5);
        ::close(fd);
    });
    LineReader reader(fds[0]);
    EXPECT_EQ(reader.next().value().text, "late");
    EXPECT_FALSE(reader.next());
    writer.join();
    ::close(fds[0]);
}

}  // namespace
