#pragma once

#include <chrono>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "dev_agent/store/accounts.h"

namespace quillbrook::dev_agent {

struct AgentOptions {
    std::string socketPath;
    std::vector<Account> accounts;  // the first is the default account
    std::string draftsDir;
    std::string stateDir;
    std::chrono::milliseconds requestTimeout{10000};
};

// What one source of settings says (the configuration file, the command line);
// empty where it says nothing.
struct AgentSettings {
    std::vector<Account> accounts;
    std::string socketPath;
    std::string draftsDir;
    std::string stateDir;
    std::optional<std::chrono::milliseconds> requestTimeout;
};

// A configuration the agent will not start with (a wrong file, no account):
// it ends with ExitStatus::usage, since starting again cannot mend it.
struct ConfigurationError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The seconds a client may be given to send its request line.
inline constexpr double kMinRequestTimeoutSeconds = 0.01;
inline constexpr double kMaxRequestTimeoutSeconds = 3600;
std::chrono::milliseconds requestTimeoutOf(double seconds);

// The user's home directory ($HOME, else the user database's); empty when
// neither is known.
std::string userHome();

// The agent's defaults: the socket where the client looks first (under the
// user's home), and drafts and UID state beside it.
std::string defaultSocketPath();
std::string besideSocket(const std::string& socketPath, const std::string& name);

// The file's settings, each overridden where the command line gives it; the
// file's accounts (its default first), then the command line's; the defaults
// for what neither says. Throws ConfigurationError when there is no account at
// all; `configPath` (empty: none known) is where the message says to list them.
AgentOptions resolveOptions(const AgentSettings& file, const AgentSettings& commandLine, const std::string& configPath);

// Checks what the options name before the agent takes the socket: every account
// a tree of Maildir folders in any layout, with a drafts folder it can spell; no
// address given twice. Throws std::runtime_error.
void validateAccounts(const std::vector<Account>& accounts);

// What `--check-config` prints: the file read (or "none"), the socket, the
// directories, the default account, then every account as describeAccount
// tells it.
std::string describeOptions(const AgentOptions& options, const std::string& configFile);

}  // namespace quillbrook::dev_agent
