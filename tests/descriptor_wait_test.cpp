#include "util/descriptor_wait.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <thread>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "util/unique_fd.h"

namespace quillbrook {
namespace {

void makeNonBlocking(int fd) { ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK); }

// Both ends of one channel: `reader` is where the waiting happens.
struct Channel {
    UniqueFd reader;
    UniqueFd writer;
};

Channel pipeChannel() {
    int fds[2];
    EXPECT_EQ(::pipe(fds), 0);
    return {UniqueFd(fds[0]), UniqueFd(fds[1])};
}

// A terminal: the kind of descriptor macOS's poll() cannot wait on.
Channel terminalChannel() {
    UniqueFd controller(::posix_openpt(O_RDWR | O_NOCTTY));
    EXPECT_TRUE(controller.valid());
    EXPECT_EQ(::grantpt(controller.get()), 0);
    EXPECT_EQ(::unlockpt(controller.get()), 0);
    UniqueFd terminal(::open(::ptsname(controller.get()), O_RDWR | O_NOCTTY));
    EXPECT_TRUE(terminal.valid());
    return {std::move(terminal), std::move(controller)};
}

// A pipe whose read end is numbered beyond what select() can watch.
Channel highPipeChannel() {
    Channel channel = pipeChannel();
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    if (limit.rlim_cur <= FD_SETSIZE + 1) {
        limit.rlim_cur = std::min<rlim_t>(limit.rlim_max, FD_SETSIZE + 16);
        if (limit.rlim_cur <= FD_SETSIZE + 1 || ::setrlimit(RLIMIT_NOFILE, &limit) != 0) {
            return {};
        }
    }
    channel.reader = UniqueFd(::fcntl(channel.reader.get(), F_DUPFD, FD_SETSIZE + 1));
    return channel;
}

struct Kind {
    const char* name;
    std::function<Channel()> open;
};
const Kind kKinds[] = {
    {"pipe", pipeChannel},
    {"terminal", terminalChannel},
    {"pipe beyond select's set", highPipeChannel},
};

TEST(WaitReadable, ReturnsOnceANonBlockingDescriptorHasData) {
    for (const Kind& kind : kKinds) {
        SCOPED_TRACE(kind.name);
        Channel channel = kind.open();
        if (!channel.reader.valid()) {
            continue;  // no room for a descriptor that high here
        }
        makeNonBlocking(channel.reader.get());
        char byte = 0;
        ASSERT_EQ(::read(channel.reader.get(), &byte, 1), -1);
        ASSERT_EQ(errno, EAGAIN);

        std::thread writer([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            ASSERT_EQ(::write(channel.writer.get(), "x\n", 2), 2);
        });
        EXPECT_TRUE(waitReadable(channel.reader.get()));
        writer.join();
        EXPECT_EQ(::read(channel.reader.get(), &byte, 1), 1);
        EXPECT_EQ(byte, 'x');
    }
}

TEST(WaitReadable, TreatsAHangUpAsReadySoTheReadReportsTheEnd) {
    Channel channel = pipeChannel();
    makeNonBlocking(channel.reader.get());
    channel.writer.reset();
    EXPECT_TRUE(waitReadable(channel.reader.get()));
    char byte = 0;
    EXPECT_EQ(::read(channel.reader.get(), &byte, 1), 0);
}

TEST(WaitWritable, ReturnsOnceAFullPipeDrains) {
    Channel channel = pipeChannel();
    makeNonBlocking(channel.writer.get());
    char block[4096] = {};
    while (::write(channel.writer.get(), block, sizeof block) > 0) {
    }
    ASSERT_EQ(errno, EAGAIN);

    std::thread reader([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        char sink[65536];
        EXPECT_GT(::read(channel.reader.get(), sink, sizeof sink), 0);
    });
    EXPECT_TRUE(waitWritable(channel.writer.get()));
    reader.join();
    EXPECT_GT(::write(channel.writer.get(), block, 1), 0);
}

}  // namespace
}  // namespace quillbrook
