#include "util/unix_socket.h"

#include <cerrno>
#include <string>

#include <gtest/gtest.h>

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
    EXPECT_EQ(homeDirectory("/srv/mail"), "/srv/mail");
}

}  // namespace
}  // namespace quillbrook
