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

void prepareDirectory(const std::string& directory) {
    makeDirectories(directory, 0700);
    struct stat info {};
    if (::stat(directory.c_str(), &info) == 0 && (info.st_mode & 0077) != 0) {
        logLine("note: " + directory + " is open to other users; the socket itself is only for its owner");
    }
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

Listener::Listener(std::string path) : path_(std::move(path)) {
    if (path_.empty() || path_.size() > kMaxSocketPathBytes) {
        throw std::runtime_error("the socket path must have 1 to " + std::to_string(kMaxSocketPathBytes) +
                                 " bytes: " + path_);
    }
    prepareDirectory(std::string(parentDirectory(path_)));
    clearPath(path_);

    fd_ = newSocket();
    std::string temporary = path_ + "." + std::to_string(::getpid());
    bool viaTemporary = temporary.size() <= kMaxSocketPathBytes;
    bindTo(fd_.get(), viaTemporary ? temporary : path_);
    if (::listen(fd_.get(), kBacklog) != 0) {
        throwErrno("cannot listen on " + path_);
    }
    if (viaTemporary && ::rename(temporary.c_str(), path_.c_str()) != 0) {
        int saved = errno;
        ::unlink(temporary.c_str());
        errno = saved;
        throwErrno("cannot move the socket to " + path_);
    }
    setNonBlockingCloseOnExec(fd_.get());
    struct stat info {};
    if (::lstat(path_.c_str(), &info) == 0) {
        device_ = info.st_dev;
        inode_ = info.st_ino;
    }
}

Listener::~Listener() {
    struct stat info {};
    if (::lstat(path_.c_str(), &info) == 0 && info.st_dev == device_ && info.st_ino == inode_) {
        ::unlink(path_.c_str());
    }
}

}  // namespace quillbrook::dev_agent
