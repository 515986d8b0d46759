#pragma once

#include <cerrno>
#include <utility>

#include <unistd.h>

namespace quillbrook {

// Owns one file descriptor and closes it on every path out of its scope.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            reset();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { reset(); }

    int get() const { return fd_; }
    // Gives up ownership, for a caller that must see close()'s own result.
    int release() { return std::exchange(fd_, -1); }
    bool valid() const { return fd_ >= 0; }

    // Closes the descriptor; errno stays what the failing call before it set.
    void reset() {
        if (fd_ >= 0) {
            int savedErrno = errno;
            ::close(fd_);
            errno = savedErrno;
            fd_ = -1;
        }
    }

private:
    int fd_ = -1;
};

}  // namespace quillbrook
