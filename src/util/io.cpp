#include "util/io.h"

#include <cerrno>
#include <system_error>

#include <sys/socket.h>
#include <unistd.h>

namespace quillbrook {

namespace {

// The send(2) flag that keeps a vanished peer from raising SIGPIPE, where one
// exists; elsewhere newUnixSocket sets SO_NOSIGPIPE instead.
#ifdef MSG_NOSIGNAL
constexpr int kNoSigpipeFlag = MSG_NOSIGNAL;
#else
constexpr int kNoSigpipeFlag = 0;
#endif

}  // namespace

ssize_t writeSome(int fd, std::string_view bytes, Sink sink) {
    for (;;) {
        ssize_t written = sink == Sink::socket ? ::send(fd, bytes.data(), bytes.size(), kNoSigpipeFlag)
                                               : ::write(fd, bytes.data(), bytes.size());
        if (written >= 0 || errno != EINTR) {
            return written;
        }
    }
}

void throwErrno(const std::string& what) { throw std::system_error(errno, std::generic_category(), what); }

ssize_t readSome(int fd, char* buffer, std::size_t size) {
    for (;;) {
        ssize_t got = ::read(fd, buffer, size);
        if (got >= 0 || errno != EINTR) {
            return got;
        }
    }
}

bool writeAll(int fd, std::string_view bytes, Sink sink, const WaitWritable& wait) {
    while (!bytes.empty()) {
        ssize_t written = writeSome(fd, bytes, sink);
        if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (wait(fd)) {
                continue;
            }
            return false;
        }
        if (written <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

}  // namespace quillbrook
