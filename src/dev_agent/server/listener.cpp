#include "dev_agent/server/listener.h"

#include <cerrno>
#include <stdexcept>

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "dev_agent/base/log.h"
#include "util/files.h"
#include "util/io.h"
#include "util/unix_socket.h"

namespace quillbrook::dev_agent {

namespace {

constexpr int kBacklog = 64;

UniqueFd newSocket() {
    UniqueFd fd = newUnixSocket();
    if (!fd.valid()) {
        throwErrno("cannot create a socket");
    }
    return fd;
}

// True when a process accepts connections on `path`, false when the socket is
// left over (nobody listens); throws when that cannot be told, as for a socket
// of another user.
bool someoneListens(const std::string& path) {
    if (connectUnixSocket(path).valid()) {
        return true;
    }
    if (errno == ECONNREFUSED || errno == ENOENT) {
        return false;
    }
    throwErrno("cannot tell whether an agent listens on " + path);
}

// Removes a socket file left behind by an agent that died; refuses everything else.
void clearPath(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        return;
    }
    if (!S_ISSOCK(info.st_mode)) {
        throw std::runtime_error(path + " exists and is not a socket; not replacing it");
    }
    if (someoneListens(path)) {
        throw std::runtime_error("another agent is already listening on " + path);
    }
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
        throwErrno("cannot remove the stale socket " + path);
    }
    logLine("removed the stale socket " + path);
}

void bindTo(int fd, const std::string& path) {
    sockaddr_un address = *unixAddress(path);
    mode_t previous = ::umask(0177);
    int bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    ::umask(previous);
    if (bound != 0) {
        throwErrno("cannot bind " + path);
    }
    ::chmod(path.c_str(), 0600);
}

}  // namespace

void SocketFile::removeIfUnchanged() const {
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0 && info.st_dev == device && info.st_ino == inode) {
        ::unlink(path.c_str());
    }
}

Listener::Listener(std::string path) : file_{std::move(path)} {
    const std::string& socketPath = file_.path;
    if (socketPath.empty() || socketPath.size() > kMaxSocketPathBytes) {
        throw std::runtime_error("the socket path must have 1 to " + std::to_string(kMaxSocketPathBytes) +
                                 " bytes: " + socketPath);
    }
    makePrivateDirectory(std::string(parentDirectory(socketPath)), "socket's directory");
    clearPath(socketPath);

    fd_ = newSocket();
    std::string temporary = socketPath + "." + std::to_string(::getpid());
    bool viaTemporary = temporary.size() <= kMaxSocketPathBytes;
    bindTo(fd_.get(), viaTemporary ? temporary : socketPath);
    if (::listen(fd_.get(), kBacklog) != 0) {
        throwErrno("cannot listen on " + socketPath);
    }
    if (viaTemporary && ::rename(temporary.c_str(), socketPath.c_str()) != 0) {
        int saved = errno;
        ::unlink(temporary.c_str());
        errno = saved;
        throwErrno("cannot move the socket to " + socketPath);
    }
    setNonBlockingCloseOnExec(fd_.get());
    struct stat info {};
    if (::lstat(socketPath.c_str(), &info) == 0) {
        file_.device = info.st_dev;
        file_.inode = info.st_ino;
    }
}

Listener::~Listener() { file_.removeIfUnchanged(); }

}  // namespace quillbrook::dev_agent
