#pragma once

#include <string>
#include <vector>

#include <sys/types.h>

// Helpers shared by the development agent's tests: scratch directories, a copy of
// the sample mailbox, and the built agent as a child process.
namespace quillbrook::dev_agent_test {

// A fresh directory under /tmp (short, so socket paths inside it fit), removed
// with everything in it when the value goes away.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// Copies examples/mail into `destination` (which must not exist).
void copySampleMail(const std::string& destination);

std::string readFile(const std::string& path);
std::vector<std::string> filesIn(const std::string& directory);

// The built quillbrook-dev-agent serving the sample accounts "ada@example.com"
// (Ada Lindqvist) and "sam.okafor@example.org" from `home`/mail, on
// `socketPath` (default `home`/agent.sock). The constructor returns once the
// socket accepts connections; the destructor stops the agent with SIGTERM.
class AgentProcess {
public:
    explicit AgentProcess(const std::string& home, std::vector<std::string> extraArgs = {},
                          std::string socketPath = "");
    ~AgentProcess();
    AgentProcess(const AgentProcess&) = delete;
    AgentProcess& operator=(const AgentProcess&) = delete;

    const std::string& socketPath() const { return socketPath_; }
    pid_t pid() const { return pid_; }
    // Sends SIGTERM and waits; returns the exit status (128 + signal if killed).
    int stop();
    // Everything the agent wrote on standard error so far.
    std::string log() const;

private:
    std::string socketPath_;
    std::string logPath_;
    pid_t pid_ = -1;
};

// Starts the agent and waits for it to end; for runs that must fail at start.
struct StartResult {
    int status;
    std::string log;
};
StartResult runAgentToEnd(const std::vector<std::string>& args);

// One exchange: connect, write `bytes` as they are, read up to the first line
// feed (or the end), close. Returns the line without its line feed.
std::string roundTrip(const std::string& socketPath, const std::string& bytes);

}  // namespace quillbrook::dev_agent_test
