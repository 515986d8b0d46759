#include "support/spawn.h"

#include <cerrno>
#include <cstdlib>
#include <stdexcept>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace quillbrook::test_support {

namespace {

// The argv and envp arrays that posix_spawn takes, pointing into `strings`.
std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> result;
    for (auto& s : strings) {
        result.push_back(s.data());
    }
    result.push_back(nullptr);
    return result;
}

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

std::vector<std::string> inheritedEnvironment() {
    std::vector<std::string> strings;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        strings.emplace_back(*entry);
    }
    return strings;
}

pid_t spawnProcess(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
                   StandardStreams streams) {
    std::vector<std::string> args = argv;
    std::vector<std::string> envStrings = environment;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    int target = 0;
    for (int fd : {streams.input, streams.output, streams.error}) {
        if (fd >= 0) {
            posix_spawn_file_actions_adddup2(&actions, fd, target);
        }
        ++target;
    }
    pid_t pid = -1;
    int failed =
        ::posix_spawn(&pid, args.at(0).c_str(), &actions, nullptr, pointers(args).data(), pointers(envStrings).data());
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) {
        throw std::runtime_error("cannot start " + args[0]);
    }
    return pid;
}

int waitForExit(pid_t pid, rusage* usage) {
    int status = 0;
    rusage ignored{};
    while (::wait4(pid, &status, 0, usage != nullptr ? usage : &ignored) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

Pipe::Pipe() {
    int fds[2];
    if (::pipe(fds) != 0) {
        throw std::runtime_error("cannot create a pipe");
    }
    read = UniqueFd(fds[0]);
    write = UniqueFd(fds[1]);
    ::fcntl(fds[0], F_SETFD, FD_CLOEXEC);
    ::fcntl(fds[1], F_SETFD, FD_CLOEXEC);
}

}  // namespace quillbrook::test_support
