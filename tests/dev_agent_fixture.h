#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <sys/types.h>

#include "support/files.h"
#include "support/unix_connection.h"

// Helpers shared by the development agent's tests: a copy of the sample
// mailbox and the built agent as a child process. Scratch directories, files
// and raw socket exchanges come from the shared test support.
namespace quillbrook::dev_agent_test {

using test_support::filesIn;
using test_support::readFile;
using test_support::roundTrip;
using test_support::TempDir;

// Copies examples/mail into `destination` (which must not exist).
void copySampleMail(const std::string& destination);

// The paths of the message files in a Maildir's cur/ or new/: every file but
// the hidden ones (the sample mailbox keeps its empty folders by a .gitkeep).
std::vector<std::string> messageFilesIn(const std::string& directory);

// A request for the accounts, padded to nearly the 1 MiB a request may take.
std::string nearlyLargestRequest();

// What `exchange` returns, run by `count` threads at once, in order.
std::vector<std::string> atOnce(std::size_t count, const std::function<std::string()>& exchange);

// Variables that replace or join the environment a test's agent runs in.
using Environment = std::map<std::string, std::string>;

// The built quillbrook-dev-agent serving the sample accounts "ada@example.com"
// (Ada Lindqvist) and "sam.okafor@example.org" from `home`/mail, on
// `socketPath` (default `home`/agent.sock). The constructor returns once the
// socket accepts connections; the destructor stops the agent with SIGTERM.
class AgentProcess {
public:
    explicit AgentProcess(const std::string& home, std::vector<std::string> extraArgs = {},
                          std::string socketPath = "");
    // The agent with exactly `args`, expected to serve on `socketPath`.
    AgentProcess(const std::vector<std::string>& args, std::string socketPath, std::string logPath,
                 const Environment& environment);
    ~AgentProcess();
    AgentProcess(const AgentProcess&) = delete;
    AgentProcess& operator=(const AgentProcess&) = delete;

    const std::string& socketPath() const { return socketPath_; }
    pid_t pid() const { return pid_; }
    // Sends SIGTERM and waits; returns the exit status (128 + signal if killed).
    int stop();
    // Sends SIGTERM and waits; false (and the agent killed) when it has not
    // ended after 5 s, which a loaded machine's stop stays well within and a
    // hang (on a silent client, on a file that never opens) does not.
    bool stopsWhenAsked();
    // Everything the agent wrote on standard error so far.
    std::string log() const;
    // Waits up to `limit` for `text` in the log; its position, or npos.
    std::size_t waitForLog(const std::string& text, std::chrono::milliseconds limit) const;

private:
    std::string socketPath_;
    std::string logPath_;
    pid_t pid_ = -1;
};

// The agent with `args`, its standard error appended to `logPath`, left to
// itself; and whether a child has ended, its status still to be collected.
// It runs in this process's environment with `environment` laid over it, and
// with XDG_CONFIG_HOME where no configuration file is unless that names one:
// the user's own file never joins a test.
pid_t spawnAgent(std::vector<std::string> args, const std::string& logPath, const Environment& environment = {});
bool hasEnded(pid_t pid);

// Starts the agent and waits for it to end; for runs that must fail at start.
struct StartResult {
    int status;
    std::string log;
};
StartResult runAgentToEnd(const std::vector<std::string>& args, const Environment& environment = {});

}  // namespace quillbrook::dev_agent_test
