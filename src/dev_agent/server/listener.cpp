#include "dev_agent/server/listener.h"

#include <cerrno>
#include <stdexcept>
#include <string>
#include <utility>

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
// How often a socket is published after its place turned out taken by a stale one.
constexpr int kPublishAttempts = 3;

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
    // An agent starting beside this one may have put its socket there since.
    struct stat now {};
    if (::lstat(path.c_str(), &now) != 0 || now.st_dev != info.st_dev || now.st_ino != info.st_ino) {
        return;
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

void listenOn(int fd, const std::string& path) {
    if (::listen(fd, kBacklog) != 0) {
        throwErrno("cannot listen on " + path);
    }
}

// The temporary name of a socket, gone however the start ends: the socket
// stays reachable under its published name.
struct RemovedAtEnd {
    explicit RemovedAtEnd(std::string name) : path(std::move(name)) {}
    std::string path;
    RemovedAtEnd(const RemovedAtEnd&) = delete;
    RemovedAtEnd& operator=(const RemovedAtEnd&) = delete;
    ~RemovedAtEnd() { ::unlink(path.c_str()); }
};

// Gives the socket listening at `temporary` the name `path`. link(2) never
// replaces a file: of agents started together, one puts its socket there and
// the others find it listening, where a rename would put each over the last.
void publish(const std::string& temporary, const std::string& path) {
    for (int attempt = 0; attempt < kPublishAttempts; ++attempt) {
        clearPath(path);
        if (::link(temporary.c_str(), path.c_str()) == 0) {
            return;
        }
        if (errno != EEXIST) {
            throwErrno("cannot move the socket to " + path);
        }
    }
    throw std::runtime_error("cannot put the socket at " + path + ": others keep taking the place");
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
    fd_ = newSocket();
    std::string temporary = socketPath + "." + std::to_string(::getpid());
    if (temporary.size() <= kMaxSocketPathBytes) {
        bindTo(fd_.get(), temporary);
        RemovedAtEnd bound{temporary};
        listenOn(fd_.get(), socketPath);
        publish(temporary, socketPath);
    } else {
        // bind(2) itself never replaces a file.
        clearPath(socketPath);
        bindTo(fd_.get(), socketPath);
        listenOn(fd_.get(), socketPath);
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
