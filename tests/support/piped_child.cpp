#include "support/piped_child.h"
#include "support/process.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <fcntl.h>
#include <poll.h>
#include <csignal>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quillbrook::test_support {

namespace {

void closeIfOpen(int& fd) {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> result;
    for (auto& s : strings) {
        result.push_back(s.data());
    }
    result.push_back(nullptr);
    return result;
}

long peakRssKiB(const rusage& usage) {
#ifdef __APPLE__
    return usage.ru_maxrss / 1024;  // bytes there, KiB elsewhere
#else
    return usage.ru_maxrss;
#endif
}

// The peak of a running process from /proc, or 0 where there is none. Linux
// counts what the spawning process had mapped into the child's ru_maxrss (the
// child runs in its parent's memory until exec), so this is the honest figure.
long procPeakRssKiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string field;
    while (status >> field) {
        if (field == "VmHWM:") {
            long kib = 0;
            status >> kib;
            return kib;
        }
    }
    return 0;
}

}  // namespace

PipedChild::PipedChild(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env) {
    std::signal(SIGPIPE, SIG_IGN);
    std::vector<std::string> envStrings = childEnvironment(env);
    std::vector<std::string> args = argv;

    char errorPattern[] = "/tmp/qbt-stderr-XXXXXX";
    int errorFd = ::mkstemp(errorPattern);
    int in[2], out[2];
    if (errorFd < 0 || ::pipe(in) != 0 || ::pipe(out) != 0) {
        throw std::runtime_error("cannot set up the child's pipes");
    }
    errorPath_ = errorPattern;
    for (int fd : {in[0], in[1], out[0], out[1], errorFd}) {  // dup2 gives the child its own copies
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errorFd, 2);
    int spawned = ::posix_spawn(&pid_, args[0].c_str(), &actions, nullptr, pointers(args).data(),
                                pointers(envStrings).data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    ::close(errorFd);
    input_ = in[1];
    output_ = out[0];
    if (spawned != 0) {
        closeIfOpen(input_);
        closeIfOpen(output_);
        ::unlink(errorPath_.c_str());
        throw std::runtime_error("cannot start " + args[0]);
    }
}

PipedChild::~PipedChild() {
    if (pid_ > 0 && !exit_) {
        ::kill(pid_, SIGKILL);
        wait();
    }
    closeIfOpen(input_);
    closeIfOpen(output_);
    ::unlink(errorPath_.c_str());
}

bool PipedChild::send(std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t written = ::write(input_, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

std::optional<std::string> PipedChild::readLine(std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    std::size_t scanned = 0;  // a long line arrives in many reads; each byte is searched once
    for (;;) {
        if (auto newline = pending_.find('\n', scanned); newline != std::string::npos) {
            std::string line = pending_.substr(0, newline);
            pending_.erase(0, newline + 1);
            return line;
        }
        scanned = pending_.size();
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd readable{output_, POLLIN, 0};
        if (output_ < 0 || left.count() <= 0 || ::poll(&readable, 1, static_cast<int>(left.count())) <= 0) {
            return std::nullopt;
        }
        char buffer[65536];
        ssize_t received = ::read(output_, buffer, sizeof buffer);
        if (received <= 0) {
            return std::nullopt;
        }
        pending_.append(buffer, static_cast<std::size_t>(received));
    }
}

void PipedChild::closeInput() { closeIfOpen(input_); }

void PipedChild::closeOutput() { closeIfOpen(output_); }

PipedChild::Exit PipedChild::wait() {
    const long livePeakKiB = exit_ ? 0 : procPeakRssKiB(pid_);
    closeInput();
    if (!exit_) {
        int status = 0;
        rusage usage{};
        while (::wait4(pid_, &status, 0, &usage) < 0 && errno == EINTR) {
        }
        exit_ = Exit{WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status),
                     livePeakKiB > 0 ? livePeakKiB : peakRssKiB(usage)};
    }
    return *exit_;
}

std::string PipedChild::errorOutput() const {
    std::ifstream file(errorPath_, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

}  // namespace quillbrook::test_support
