#include "util/unix_socket.h"

#include <cerrno>
#include <csignal>
#include <string>

#include <gtest/gtest.h>

#include "support/files.h"
#include "util/agent_paths.h"

namespace quillbrook {
namespace {

TEST(UnixAddress, TakesPathsThatFitTheAddressFieldWithTheirNul) {
    std::string longest(103, 'a');  // sun_path's 104 bytes on macOS, with the NUL
    auto address = unixAddress(longest);
    ASSERT_TRUE(address);
    EXPECT_EQ(std::string(address->sun_path), longest);
    EXPECT_FALSE(unixAddress(longest + "a"));
    EXPECT_FALSE(unixAddress(""));
}

TEST(ConnectUnixSocket, FailsWithErrnoWhereNothingListensOrThePathCannotBeAddressed) {
    EXPECT_FALSE(connectUnixSocket("/nonexistent/agent.sock").valid());
    EXPECT_EQ(errno, ENOENT);
    EXPECT_FALSE(connectUnixSocket(std::string(104, 'a')).valid());
    EXPECT_EQ(errno, ENAMETOOLONG);
}

TEST(AgentPaths, JoinWithExactlyOneSlash) {
    EXPECT_EQ(defaultAgentSocketPath("/home/ada"), "/home/ada/.quillbrook/agent.sock");
    EXPECT_EQ(defaultAgentSocketPath("/home/ada/"), "/home/ada/.quillbrook/agent.sock");
    EXPECT_EQ(defaultAgentSocketPath("/"), "/.quillbrook/agent.sock");
}

// With SIGPIPE at its default, which would end the process: whichever way the
// platform offers (a send flag or a socket option), a write to a peer that has
// gone must come back as EPIPE.
TEST(SendAll, ReportsAVanishedPeerAsEpipeWithoutRaisingSigpipe) {
    test_support::TempDir directory;
    std::string path = directory.path() + "/s";
    UniqueFd listener = newUnixSocket();
    auto address = unixAddress(path);
    ASSERT_TRUE(listener.valid() && address);
    ASSERT_EQ(::bind(listener.get(), reinterpret_cast<const sockaddr*>(&*address), sizeof *address), 0);
    ASSERT_EQ(::listen(listener.get(), 1), 0);
    UniqueFd client = connectUnixSocket(path);
    ASSERT_TRUE(client.valid());
    UniqueFd(::accept(listener.get(), nullptr, nullptr)).reset();

    auto previous = std::signal(SIGPIPE, SIG_DFL);
    bool sent = sendAll(client.get(), "one line\n") && sendAll(client.get(), "another line\n");
    int error = errno;
    std::signal(SIGPIPE, previous);
    EXPECT_FALSE(sent);
    EXPECT_EQ(error, EPIPE);
}

}  // namespace
}  // namespace quillbrook
