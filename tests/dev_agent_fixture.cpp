#include "dev_agent_fixture.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include <fcntl.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace quillbrook::dev_agent_test {

namespace fs = std::filesystem;

TempDir::TempDir() {
    char pattern[] = "/tmp/qbda.XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

void copySampleMail(const std::string& destination) {
    fs::copy(QUILLBROOK_SAMPLE_MAIL, destination, fs::copy_options::recursive);
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

std::vector<std::string> filesIn(const std::string& directory) {
    std::vector<std::string> files;
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(directory, ignored)) {
        files.push_back(entry.path().string());
    }
    return files;
}

namespace {

bool connects(const std::string& path) {
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    bool ok = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

pid_t spawnAgent(std::vector<std::string> args, const std::string& logPath) {
    args.insert(args.begin(), QUILLBROOK_DEV_AGENT_PATH);
    std::vector<char*> argv;
    for (auto& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    int failed = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) {
        throw std::runtime_error("cannot start the agent");
    }
    return pid;
}

int waitStatus(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

AgentProcess::AgentProcess(const std::string& home, std::vector<std::string> extraArgs, std::string socketPath)
    : socketPath_(socketPath.empty() ? home + "/agent.sock" : std::move(socketPath)), logPath_(home + "/agent.log") {
    std::vector<std::string> args = {"--socket", socketPath_, "--account",
                                     "ada@example.com=" + home + "/mail/ada:Ada Lindqvist", "--account",
                                     "sam.okafor@example.org=" + home + "/mail/sam:Sam Okafor"};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    pid_ = spawnAgent(args, logPath_);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!connects(socketPath_)) {
        if (std::chrono::steady_clock::now() > deadline || ::waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1;
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
    int status = waitStatus(pid_);
    pid_ = -1;
    return status;
}

std::string AgentProcess::log() const { return readFile(logPath_); }

StartResult runAgentToEnd(const std::vector<std::string>& args) {
    TempDir scratch;
    std::string logPath = scratch.path() + "/log";
    pid_t pid = spawnAgent(args, logPath);
    // An agent that starts after all would serve forever: stop it, and the
    // status (128 + SIGTERM) shows what happened.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (;;) {
        siginfo_t info{};
        bool ended = ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid;
        if (ended || std::chrono::steady_clock::now() > deadline) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid, SIGTERM);
    int status = waitStatus(pid);
    return {status, readFile(logPath)};
}

std::string roundTrip(const std::string& socketPath, const std::string& bytes) {
    std::signal(SIGPIPE, SIG_IGN);
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        throw std::runtime_error("cannot connect to " + socketPath);
    }
    for (std::size_t sent = 0; sent < bytes.size();) {
        ssize_t n = ::write(fd, bytes.data() + sent, bytes.size() - sent);
        if (n <= 0) {
            break;  // the agent may answer before it has read everything
        }
        sent += static_cast<std::size_t>(n);
    }
    std::string line;
    char c;
    while (::read(fd, &c, 1) == 1 && c != '\n') {
        line.push_back(c);
    }
    ::close(fd);
    return line;
}

}  // namespace quillbrook::dev_agent_test
