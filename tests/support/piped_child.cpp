#include "support/piped_child.h"

#include <cerrno>
#include <csignal>
#include <fstream>
#include <stdexcept>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include "support/spawn.h"

namespace quillbrook::test_support {

namespace {

constexpr char kErrorFile[] = "/stderr";

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
    Pipe in, out;
    UniqueFd error(::open((scratch_.path() + kErrorFile).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
    if (!error.valid()) {
        throw std::runtime_error("cannot create the child's standard error file");
    }
    pid_ = spawnProcess(argv, childEnvironment(env), {in.read.get(), out.write.get(), error.get()});
    input_ = std::move(in.write);
    output_ = std::move(out.read);
}

PipedChild::~PipedChild() {
    if (pid_ > 0 && !exit_) {
        ::kill(pid_, SIGKILL);
        wait();
    }
}

bool PipedChild::send(std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t written = ::write(input_.get(), bytes.data(), bytes.size());
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
        pollfd readable{output_.get(), POLLIN, 0};
        if (!output_.valid() || left.count() <= 0 || ::poll(&readable, 1, static_cast<int>(left.count())) <= 0) {
            return std::nullopt;
        }
        char buffer[65536];
        ssize_t received = ::read(output_.get(), buffer, sizeof buffer);
        if (received <= 0) {
            return std::nullopt;
        }
        pending_.append(buffer, static_cast<std::size_t>(received));
    }
}

void PipedChild::closeInput() { input_.reset(); }

void PipedChild::closeOutput() { output_.reset(); }

PipedChild::Exit PipedChild::wait() {
    // Read the peak while the child still lives: once its input closes it may
    // exit at once, and a finished process has no figure in /proc.
    const long livePeakKiB = exit_ ? 0 : procPeakRssKiB(pid_);
    closeInput();
    if (!exit_) {
        rusage usage{};
        int status = waitForExit(pid_, &usage);
        exit_ = Exit{status, livePeakKiB > 0 ? livePeakKiB : peakRssKiB(usage)};
    }
    return *exit_;
}

std::string PipedChild::errorOutput() const { return readFile(scratch_.path() + kErrorFile); }

}  // namespace quillbrook::test_support
