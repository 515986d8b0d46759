#include "util/unix_socket.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/socket.h>

namespace quillbrook {

static_assert(sizeof(sockaddr_un{}.sun_path) > kMaxSocketPathBytes);

namespace {

// The send(2) flag that keeps a vanished peer from raising SIGPIPE, where one
// exists; elsewhere newUnixSocket sets SO_NOSIGPIPE instead.
#ifdef MSG_NOSIGNAL
constexpr int kNoSigpipeFlag = MSG_NOSIGNAL;
#else
constexpr int kNoSigpipeFlag = 0;
#endif

}  // namespace

std::optional<sockaddr_un> unixAddress(std::string_view path) {
    if (path.empty() || path.size() > kMaxSocketPathBytes) {
        return std::nullopt;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.data(), path.size());
    return address;
}

UniqueFd newUnixSocket() {
    UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM, 0));
    if (!fd.valid()) {
        return fd;
    }
    ::fcntl(fd.get(), F_SETFD, FD_CLOEXEC);
#ifdef SO_NOSIGPIPE
    int on = 1;
    ::setsockopt(fd.get(), SOL_SOCKET, SO_NOSIGPIPE, &on, sizeof on);
#endif
    return fd;
}

UniqueFd connectUnixSocket(std::string_view path) {
    std::optional<sockaddr_un> address = unixAddress(path);
    if (!address) {
        errno = ENAMETOOLONG;
        return UniqueFd();
    }
    UniqueFd fd = newUnixSocket();
    if (fd.valid() && ::connect(fd.get(), reinterpret_cast<const sockaddr*>(&*address), sizeof *address) != 0) {
        fd.reset();
    }
    return fd;
}

bool sendAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t sent = ::send(fd, bytes.data(), bytes.size(), kNoSigpipeFlag);
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        if (sent <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

}  // namespace quillbrook
