#pragma once

#include <sys/resource.h>
#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

#include "util/unique_fd.h"

namespace quillbrook::test_support {

// `env` as NAME=VALUE strings, with this process's sanitizer settings added so
// that a child built with sanitizers reports the same way.
std::vector<std::string> childEnvironment(const std::map<std::string, std::string>& env);

// This process's whole environment as NAME=VALUE strings.
std::vector<std::string> inheritedEnvironment();

// What takes the place of a child's standard input, output and error: a
// descriptor of this process, or -1 to let the child share this process's own.
struct StandardStreams {
    int input = -1;
    int output = -1;
    int error = -1;
};

// Starts argv[0] with exactly `environment`; throws when it cannot be started.
pid_t spawnProcess(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
                   StandardStreams streams);

// Waits for `pid` to end and returns its exit status, or 128 + the signal that
// ended it. `usage`, when given, receives what the child used.
int waitForExit(pid_t pid, rusage* usage = nullptr);

// Both ends of a pipe, closed on exec: a child gets its end through StandardStreams.
struct Pipe {
    Pipe();
    UniqueFd read;
    UniqueFd write;
};

}  // namespace quillbrook::test_support
