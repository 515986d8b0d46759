#include "dev_agent_fixture.h"

#include <chrono>
#include <csignal>
#include <filesystem>
#include <stdexcept>
#include <thread>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/spawn.h"
#include "util/unique_fd.h"

namespace quillbrook::dev_agent_test {

void copySampleMail(const std::string& destination) {
    std::filesystem::copy(QUILLBROOK_SAMPLE_MAIL, destination, std::filesystem::copy_options::recursive);
}

std::vector<std::string> messageFilesIn(const std::string& directory) {
    std::vector<std::string> files = filesIn(directory);
    std::erase_if(files, [](const std::string& path) { return path[path.find_last_of('/') + 1] == '.'; });
    return files;
}

std::string nearlyLargestRequest() {
    std::string pad;
    for (pad = "[1"; pad.size() < 1000 * 1000; pad += ",1") {
    }
    return R"({"action":"list_accounts","pad":)" + pad + "]}\n";
}

std::vector<std::string> atOnce(std::size_t count, const std::function<std::string()>& exchange) {
    std::vector<std::string> results(count);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < count; ++i) {
        threads.emplace_back([&, i] { results[i] = exchange(); });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    return results;
}

namespace {

std::vector<std::string> agentEnvironment(const Environment& overrides) {
    Environment laid = overrides;
    laid.try_emplace("XDG_CONFIG_HOME", "/nonexistent");
    std::vector<std::string> environment;
    for (std::string& variable : test_support::inheritedEnvironment()) {
        if (!laid.contains(variable.substr(0, variable.find('=')))) {
            environment.push_back(std::move(variable));
        }
    }
    for (const auto& [name, value] : laid) {
        environment.push_back(name + "=" + value);
    }
    return environment;
}

}  // namespace

pid_t spawnAgent(std::vector<std::string> args, const std::string& logPath, const Environment& environment) {
    args.insert(args.begin(), QUILLBROOK_DEV_AGENT_PATH);
    UniqueFd log(::open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600));
    UniqueFd nowhere(::open("/dev/null", O_WRONLY | O_CLOEXEC));
    return test_support::spawnProcess(args, agentEnvironment(environment), {-1, nowhere.get(), log.get()});
}

bool hasEnded(pid_t pid) {
    siginfo_t info{};
    return ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid;
}

namespace {

std::vector<std::string> sampleAgentArgs(const std::string& home, const std::string& socketPath,
                                         const std::vector<std::string>& extraArgs) {
    std::vector<std::string> args = {"--socket",  socketPath,
                                     "--account", "ada@example.com=" + home + "/mail/ada:Ada Lindqvist",
                                     "--account", "sam.okafor@example.org=" + home + "/mail/sam:Sam Okafor"};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    return args;
}

}  // namespace

AgentProcess::AgentProcess(const std::string& home, std::vector<std::string> extraArgs, std::string socketPath)
    : AgentProcess(sampleAgentArgs(home, socketPath.empty() ? home + "/agent.sock" : socketPath, extraArgs),
                   socketPath.empty() ? home + "/agent.sock" : socketPath, home + "/agent.log", {}) {}

AgentProcess::AgentProcess(const std::vector<std::string>& args, std::string socketPath, std::string logPath,
                           const Environment& environment)
    : socketPath_(std::move(socketPath)), logPath_(std::move(logPath)) {
    pid_ = spawnAgent(args, logPath_, environment);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!test_support::acceptsConnections(socketPath_)) {
        if (std::chrono::steady_clock::now() > deadline || hasEnded(pid_)) {
            stop();
            throw std::runtime_error("the agent did not come up: " + log());
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

AgentProcess::~AgentProcess() { stop(); }

int AgentProcess::stop() {
    if (pid_ < 0) {
        return -1;
    }
    ::kill(pid_, SIGTERM);
    int status = test_support::waitForExit(pid_);
    pid_ = -1;
    return status;
}

bool AgentProcess::stopsWhenAsked() {
    ::kill(pid_, SIGTERM);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!hasEnded(pid_) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    bool ended = hasEnded(pid_);
    if (!ended) {
        ::kill(pid_, SIGKILL);
    }
    test_support::waitForExit(pid_);
    pid_ = -1;
    return ended;
}

std::string AgentProcess::log() const { return readFile(logPath_); }

std::size_t AgentProcess::waitForLog(const std::string& text, std::chrono::milliseconds limit) const {
    auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        std::size_t found = log().find(text);
        if (found != std::string::npos || std::chrono::steady_clock::now() > deadline) {
            return found;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

StartResult runAgentToEnd(const std::vector<std::string>& args, const Environment& environment) {
    TempDir scratch;
    std::string logPath = scratch.path() + "/log";
    pid_t pid = spawnAgent(args, logPath, environment);
    // An agent that starts after all would serve forever: stop it, and the
    // status (128 + SIGTERM) shows what happened.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!hasEnded(pid) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid, SIGTERM);
    int status = test_support::waitForExit(pid);
    return {status, readFile(logPath)};
}

}  // namespace quillbrook::dev_agent_test
