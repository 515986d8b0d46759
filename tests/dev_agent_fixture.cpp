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

pid_t spawnAgent(std::vector<std::string> args, const std::string& logPath) {
    args.insert(args.begin(), QUILLBROOK_DEV_AGENT_PATH);
    UniqueFd log(::open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600));
    UniqueFd nowhere(::open("/dev/null", O_WRONLY | O_CLOEXEC));
    return test_support::spawnProcess(args, test_support::inheritedEnvironment(), {-1, nowhere.get(), log.get()});
}

bool hasEnded(pid_t pid) {
    siginfo_t info{};
    return ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid;
}

AgentProcess::AgentProcess(const std::string& home, std::vector<std::string> extraArgs, std::string socketPath)
    : socketPath_(socketPath.empty() ? home + "/agent.sock" : std::move(socketPath)), logPath_(home + "/agent.log") {
    std::vector<std::string> args = {"--socket",  socketPath_,
                                     "--account", "ada@example.com=" + home + "/mail/ada:Ada Lindqvist",
                                     "--account", "sam.okafor@example.org=" + home + "/mail/sam:Sam Okafor"};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    pid_ = spawnAgent(args, logPath_);
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

bool AgentProcess::stopsWithin(std::chrono::milliseconds limit) {
    ::kill(pid_, SIGTERM);
    auto deadline = std::chrono::steady_clock::now() + limit;
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

StartResult runAgentToEnd(const std::vector<std::string>& args) {
    TempDir scratch;
    std::string logPath = scratch.path() + "/log";
    pid_t pid = spawnAgent(args, logPath);
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
