// One `quillbrook-cli accounts list` process beside the minimal raw-socket C
// client doing the same exchange, interleaved run by run against one stand-in
// agent so that both see the same machine. Reports the median wall time of a
// whole process (spawn to exit) for each and their ratio.
//
// Usage: startup_bench [runs]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/stand_in_agent.h"

namespace {

using quillbrook::test_support::okReply;
using quillbrook::test_support::StandInAgent;
using Clock = std::chrono::steady_clock;

double runOnce(std::vector<std::string> argv, const std::string& socketPath) {
    std::string env = "QUILLBROOK_SOCKET=" + socketPath;
    char* envp[] = {env.data(), nullptr};
    std::vector<char*> args;
    for (auto& arg : argv) args.push_back(arg.data());
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    auto start = Clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), envp) != 0) {
        std::perror(args[0]);
        std::exit(1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    auto elapsed = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    posix_spawn_file_actions_destroy(&actions);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s failed\n", args[0]);
        std::exit(1);
    }
    return elapsed;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    int runs = argc > 1 ? std::atoi(argv[1]) : 500;
    StandInAgent agent(
        {{okReply(R"({"accounts":[{"email":"ada@example.com","name":"Ada Lovelace"},{"email":"bo@example.org"}]})")}});
    std::vector<double> cli, minimal;
    for (int i = 0; i < runs + 20; ++i) {
        double a = runOnce({QUILLBROOK_CLI_PATH, "accounts", "list"}, agent.socketPath());
        double b = runOnce({MINIMAL_CLIENT_PATH}, agent.socketPath());
        if (i >= 20) {  // the first runs warm the caches
            cli.push_back(a);
            minimal.push_back(b);
        }
    }
    double cliMs = median(cli);
    double minimalMs = median(minimal);
    std::printf("runs: %d each, interleaved\n", runs);
    std::printf("minimal C client:             %.3f ms (median)\n", minimalMs);
    std::printf("quillbrook-cli accounts list: %.3f ms (median)\n", cliMs);
    std::printf("ratio: %.2f\n", cliMs / minimalMs);
    return 0;
}
