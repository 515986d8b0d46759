#include "util/unix_socket.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/socket.h>

#include "util/io.h"

namespace quillbrook {

static_assert(sizeof(sockaddr_un{}.sun_path) > kMaxSocketPathBytes);

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

bool sendAll(int fd, std::string_view bytes) { return writeAll(fd, bytes, Sink::socket); }

}  // namespace quillbrook
