#include "support/process.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <stdexcept>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quillbrook::test_support {

namespace {

struct Pipe {
    int read = -1;
    int write = -1;
    Pipe() {
        int fds[2];
        if (::pipe(fds) != 0) {
            throw std::runtime_error("pipe failed");
        }
        read = fds[0];
        write = fds[1];
        ::fcntl(read, F_SETFD, FD_CLOEXEC);
        ::fcntl(write, F_SETFD, FD_CLOEXEC);
    }
};

}  // namespace

std::vector<std::string> childEnvironment(const std::map<std::string, std::string>& env) {
    std::map<std::string, std::string> fullEnv = env;
    for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"}) {
        if (const char* value = std::getenv(name); value && !fullEnv.count(name)) {
            fullEnv[name] = value;
        }
    }
    std::vector<std::string> strings;
    for (const auto& [name, value] : fullEnv) {
        strings.push_back(name + "=" + value);
    }
    return strings;
}

ProcessResult runProcess(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
                         const std::string& input) {
    std::signal(SIGPIPE, SIG_IGN);
    std::vector<std::string> envStrings = childEnvironment(env);
    std::vector<char*> envp;
    for (auto& entry : envStrings) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);
    std::vector<std::string> args = argv;
    std::vector<char*> argp;
    for (auto& arg : args) {
        argp.push_back(arg.data());
    }
    argp.push_back(nullptr);

    Pipe in, out, err;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in.read, 0);
    posix_spawn_file_actions_adddup2(&actions, out.write, 1);
    posix_spawn_file_actions_adddup2(&actions, err.write, 2);
    pid_t pid = 0;
    int spawned = ::posix_spawn(&pid, argp[0], &actions, nullptr, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(in.read);
    ::close(out.write);
    ::close(err.write);
    if (spawned != 0) {
        ::close(in.write);
        ::close(out.read);
        ::close(err.read);
        throw std::runtime_error("cannot start " + argv[0]);
    }

    ProcessResult result;
    std::size_t inputOffset = 0;
    if (input.empty()) {
        ::close(in.write);
        in.write = -1;
    }
    std::vector<pollfd> fds;
    while (out.read >= 0 || err.read >= 0 || in.write >= 0) {
        fds.clear();
        if (in.write >= 0) fds.push_back({in.write, POLLOUT, 0});
        if (out.read >= 0) fds.push_back({out.read, POLLIN, 0});
        if (err.read >= 0) fds.push_back({err.read, POLLIN, 0});
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        for (const pollfd& p : fds) {
            if (p.revents == 0) continue;
            if (p.fd == in.write) {
                ssize_t n = ::write(in.write, input.data() + inputOffset, input.size() - inputOffset);
                if (n > 0) inputOffset += static_cast<std::size_t>(n);
                if (n <= 0 || inputOffset == input.size()) {
                    ::close(in.write);
                    in.write = -1;
                }
                continue;
            }
            char buffer[65536];
            ssize_t n = ::read(p.fd, buffer, sizeof buffer);
            std::string& sink = p.fd == out.read ? result.out : result.err;
            int& fd = p.fd == out.read ? out.read : err.read;
            if (n <= 0) {
                ::close(fd);
                fd = -1;
            } else {
                sink.append(buffer, static_cast<std::size_t>(n));
            }
        }
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

}  // namespace quillbrook::test_support
