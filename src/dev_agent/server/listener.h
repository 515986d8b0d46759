#pragma once

#include <string>

#include <sys/types.h>

#include "util/unique_fd.h"

namespace quillbrook::dev_agent {

// The socket file a listener made: removed only while it is still that file.
struct SocketFile {
    std::string path;
    dev_t device = 0;
    ino_t inode = 0;

    void removeIfUnchanged() const;
};

// The listening agent socket at `path`, only for its user: the directory is
// created with mode 0700 when missing and the socket is 0600. It appears at its
// path already listening (bound under a temporary name, then linked, which
// never replaces another agent's socket), so a client that sees the file can
// connect. The socket file is removed again when the listener goes away, unless
// another process has replaced it meanwhile.
class Listener {
public:
    // Throws std::runtime_error when another agent answers on `path`, when `path`
    // is something other than a socket, or when it cannot be bound. A socket file
    // that nobody listens on is left over from a crash and is replaced.
    explicit Listener(std::string path);
    ~Listener();
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;

    int fd() const { return fd_.get(); }
    const std::string& path() const { return file_.path; }
    const SocketFile& file() const { return file_; }

private:
    SocketFile file_;
    UniqueFd fd_;
};

}  // namespace quillbrook::dev_agent
