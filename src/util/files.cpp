#include "util/files.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <random>
#include <stdexcept>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "util/io.h"
#include "util/unique_fd.h"

namespace quillbrook {

namespace {

// The rename itself is only durable once the directory entry is on disk.
void syncDirectory(const std::string& directory) {
    UniqueFd fd(::open(directory.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.valid()) {
        ::fsync(fd.get());
    }
}

// Writes the whole file's content and flushes it; throws with errno's reason.
void writeAndFlush(const UniqueFd& fd, std::string_view bytes, const std::string& path) {
    if (!writeAll(fd.get(), bytes)) {
        throwErrno("cannot write " + path);
    }
    if (::fsync(fd.get()) != 0) {
        throwErrno("cannot flush " + path);
    }
}

}  // namespace

void publishFile(const std::string& tempPath, const std::string& finalPath, std::string_view bytes, mode_t mode) {
    UniqueFd fd(::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
    if (!fd.valid()) {
        throwErrno("cannot create " + tempPath);
    }
    try {
        writeAndFlush(fd, bytes, tempPath);
        // close() reports a failed delayed write, so it is checked, not left to the destructor.
        int closed = ::close(fd.release());
        if (closed != 0 || ::rename(tempPath.c_str(), finalPath.c_str()) != 0) {
            throwErrno("cannot publish " + finalPath);
        }
    } catch (...) {
        int saved = errno;
        ::unlink(tempPath.c_str());
        errno = saved;
        throw;
    }
    syncDirectory(std::string(parentDirectory(finalPath)));
}

void writeFileAtomically(const std::string& path, std::string_view bytes, mode_t mode) {
    publishFile(std::string(parentDirectory(path)) + "/." + uniqueFileStem() + ".tmp", path, bytes, mode);
}

UniqueFd openRegularFile(const std::string& path) {
    // Without O_NONBLOCK a FIFO put where a file was expected would hold the open forever.
    constexpr int kFlags = O_RDONLY | O_NONBLOCK | O_CLOEXEC;
#ifdef O_NOATIME
    // Reading leaves the access time alone where the owner reads: otherwise
    // the first read of each new message writes its inode, a million writes
    // for a mailbox indexed anew.
    UniqueFd fd(::open(path.c_str(), kFlags | O_NOATIME));
    if (!fd.valid() && errno == EPERM) {
        fd = UniqueFd(::open(path.c_str(), kFlags));
    }
#else
    UniqueFd fd(::open(path.c_str(), kFlags));
#endif
    if (!fd.valid()) {
        throwErrno("cannot open " + path);
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) {
        throwErrno("cannot read " + path);
    }
    if (!S_ISREG(info.st_mode)) {
        throw NotARegularFile(path + " is not a regular file");
    }
    return fd;
}

std::string readWholeFile(const std::string& path) {
    UniqueFd fd = openRegularFile(path);
    std::string content;
    char buffer[65536];
    for (;;) {
        ssize_t got = readSome(fd.get(), buffer, sizeof buffer);
        if (got < 0) {
            throwErrno("cannot read " + path);
        }
        if (got == 0) {
            return content;
        }
        content.append(buffer, static_cast<std::size_t>(got));
    }
}

void makeDirectories(const std::string& path, mode_t mode) {
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0) {
        if (!S_ISDIR(info.st_mode)) {
            errno = ENOTDIR;
            throwErrno("cannot use " + path + " as a directory");
        }
        return;
    }
    std::string parent(parentDirectory(path));
    if (parent != path) {
        makeDirectories(parent, mode);
    }
    if (::mkdir(path.c_str(), mode) != 0 && errno != EEXIST) {
        throwErrno("cannot create directory " + path);
    }
}

void requirePrivateDirectory(const std::string& path, std::string_view role) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        throwErrno("cannot use " + path + " as the " + std::string(role));
    }
    std::string problem;
    if (!S_ISDIR(info.st_mode)) {
        problem = "is not a directory";
    } else if (info.st_uid != ::geteuid()) {
        problem = "belongs to user " + std::to_string(info.st_uid) + ", not to you; use a directory of your own";
    } else if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
        problem = std::string("may be written by other users (mode ") + mode + "); fix it with chmod go-w " + path;
    }
    if (!problem.empty()) {
        throw std::runtime_error("refusing " + path + " as the " + std::string(role) + ": it " + problem);
    }
}

void makePrivateDirectory(const std::string& path, std::string_view role) {
    makeDirectories(path, 0700);
    requirePrivateDirectory(path, role);
}

void setNonBlockingCloseOnExec(int fd) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    ::fcntl(fd, F_SETFD, ::fcntl(fd, F_GETFD) | FD_CLOEXEC);
}

std::string_view parentDirectory(std::string_view path) {
    auto slash = path.find_last_of('/');
    if (slash == std::string_view::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string uniqueFileStem() {
    static std::atomic<unsigned> counter{0};
    static const unsigned long salt = std::random_device{}();
    auto micros =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::system_clock::now().time_since_epoch())
            .count();
    // Zero-padded microseconds keep names of one second in time order.
    char fraction[8];
    std::snprintf(fraction, sizeof fraction, "%06lld", static_cast<long long>(micros % 1000000));
    return std::to_string(micros / 1000000) + ".M" + fraction + "P" + std::to_string(::getpid()) + "Q" +
           std::to_string(++counter) + "R" + std::to_string(salt);
}

}  // namespace quillbrook
