#include "util/descriptor_wait.h"

#include <cerrno>

#include <poll.h>
#include <sys/select.h>

namespace quillbrook {

namespace {

enum class Direction { read, write };

// select(), not poll(): macOS's poll does not support devices and answers
// POLLNVAL at once for a terminal, so a non-blocking terminal would spin.
// poll() is left for descriptors beyond select's fixed set.
bool waitFor(int fd, Direction direction) {
    if (fd >= FD_SETSIZE) {
        pollfd entry{fd, static_cast<short>(direction == Direction::read ? POLLIN : POLLOUT), 0};
        return ::poll(&entry, 1, -1) >= 0 || errno == EINTR;
    }
    fd_set set;
    FD_ZERO(&set);
    FD_SET(fd, &set);
    fd_set* readSet = direction == Direction::read ? &set : nullptr;
    fd_set* writeSet = direction == Direction::write ? &set : nullptr;
    return ::select(fd + 1, readSet, writeSet, nullptr, nullptr) >= 0 || errno == EINTR;
}

}  // namespace

bool waitReadable(int fd) { return waitFor(fd, Direction::read); }
bool waitWritable(int fd) { return waitFor(fd, Direction::write); }

}  // namespace quillbrook
