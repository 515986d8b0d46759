#include "dev_agent/files.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <random>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillbrook::dev_agent {

namespace {

[[noreturn]] void throwErrno(const std::string& what) {
    throw std::system_error(errno, std::generic_category(), what);
}

std::string parentOf(const std::string& path) {
    auto slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

void writeAll(int fd, std::string_view bytes, const std::string& path) {
    while (!bytes.empty()) {
        ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            throwErrno("cannot write " + path);
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
}

// The rename itself is only durable once the directory entry is on disk.
void syncDirectory(const std::string& directory) {
    int fd = ::open(directory.c_str(), O_RDONLY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

}  // namespace

void publishFile(const std::string& tempPath, const std::string& finalPath, std::string_view bytes, mode_t mode) {
    int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL, mode);
    if (fd < 0) {
        throwErrno("cannot create " + tempPath);
    }
    try {
        writeAll(fd, bytes, tempPath);
        if (::fsync(fd) != 0) {
            throwErrno("cannot flush " + tempPath);
        }
    } catch (...) {
        ::close(fd);
        ::unlink(tempPath.c_str());
        throw;
    }
    if (::close(fd) != 0 || ::rename(tempPath.c_str(), finalPath.c_str()) != 0) {
        int saved = errno;
        ::unlink(tempPath.c_str());
        errno = saved;
        throwErrno("cannot publish " + finalPath);
    }
    syncDirectory(parentOf(finalPath));
}

void writeFileAtomically(const std::string& path, std::string_view bytes, mode_t mode) {
    publishFile(parentOf(path) + "/." + uniqueFileStem() + ".tmp", path, bytes, mode);
}

std::string readWholeFile(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) {
        throwErrno("cannot open " + path);
    }
    std::string content;
    char buffer[65536];
    for (;;) {
        ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            int saved = errno;
            ::close(fd);
            errno = saved;
            throwErrno("cannot read " + path);
        }
        if (got == 0) {
            break;
        }
        content.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return content;
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
    std::string parent = parentOf(path);
    if (parent != path) {
        makeDirectories(parent, mode);
    }
    if (::mkdir(path.c_str(), mode) != 0 && errno != EEXIST) {
        throwErrno("cannot create directory " + path);
    }
}

std::string uniqueFileStem() {
    static std::atomic<unsigned> counter{0};
    static const unsigned long salt = std::random_device{}();
    auto micros = std::chrono::duration_cast<std::chrono::microseconds>(
                      std::chrono::system_clock::now().time_since_epoch())
                      .count();
    // Zero-padded microseconds keep names of one second in time order.
    char fraction[8];
    std::snprintf(fraction, sizeof fraction, "%06lld", static_cast<long long>(micros % 1000000));
    return std::to_string(micros / 1000000) + ".M" + fraction + "P" + std::to_string(::getpid()) + "Q" +
           std::to_string(++counter) + "R" + std::to_string(salt);
}

}  // namespace quillbrook::dev_agent
