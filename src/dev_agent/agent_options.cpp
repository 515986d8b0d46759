#include "dev_agent/agent_options.h"

#include <array>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <stdexcept>

#include "dev_agent/base/text.h"
#include "dev_agent/maildir/drafts_folder.h"
#include "dev_agent/store/account_report.h"
#include "util/agent_paths.h"

namespace quillbrook::dev_agent {
namespace {

// The settings a later source replaces whole when it gives them.
constexpr std::array kPathSettings{&AgentSettings::socketPath, &AgentSettings::draftsDir, &AgentSettings::stateDir};

}  // namespace

std::chrono::milliseconds requestTimeoutOf(double seconds) {
    return std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
}

std::string userHome() {
    const char* variable = std::getenv("HOME");
    return homeDirectory(variable != nullptr ? variable : "");
}

std::string defaultSocketPath() {
    std::string home = userHome();
    if (home.empty()) {
        throw std::runtime_error("no home directory: set HOME or pass --socket");
    }
    return defaultAgentSocketPath(home);
}

std::string besideSocket(const std::string& socketPath, const std::string& name) {
    auto slash = socketPath.find_last_of('/');
    return slash == std::string::npos ? name : socketPath.substr(0, slash + 1) + name;
}

AgentOptions resolveOptions(const AgentSettings& file, const AgentSettings& commandLine,
                            const std::string& configPath) {
    AgentSettings settings = file;
    for (auto setting : kPathSettings) {
        if (!(commandLine.*setting).empty()) {
            settings.*setting = commandLine.*setting;
        }
    }
    settings.requestTimeout = commandLine.requestTimeout.has_value() ? commandLine.requestTimeout : file.requestTimeout;
    settings.accounts.insert(settings.accounts.end(), commandLine.accounts.begin(), commandLine.accounts.end());
    if (settings.accounts.empty()) {
        throw ConfigurationError("no accounts: pass --account EMAIL=DIR[:NAME] or list them as [[account]] in " +
                                 (configPath.empty() ? std::string("a file named by --config FILE") : configPath));
    }

    AgentOptions options;
    options.accounts = std::move(settings.accounts);
    options.socketPath = settings.socketPath.empty() ? defaultSocketPath() : settings.socketPath;
    options.draftsDir = settings.draftsDir.empty() ? besideSocket(options.socketPath, "drafts") : settings.draftsDir;
    options.stateDir =
        settings.stateDir.empty() ? besideSocket(options.socketPath, "dev-agent-state") : settings.stateDir;
    options.requestTimeout = settings.requestTimeout.value_or(options.requestTimeout);
    return options;
}

namespace {

// The account's directory must hold Maildir folders, and its drafts folder must
// be one its layout can spell inside it.
void checkMailTree(const Account& account) {
    std::error_code error;
    if (!std::filesystem::is_directory(account.root, error)) {
        throw std::runtime_error("account " + account.email + ": " + account.root + " is not a directory");
    }
    if (!detectMaildirLayout(account.root)) {
        throw std::runtime_error("account " + account.email + ": " + account.root +
                                 " is not a Maildir tree (neither it nor a directory below it has cur/ or new/)");
    }
    try {
        draftsFolderOf(treeOf(account), account.draftsFolder);
    } catch (const std::invalid_argument& refused) {
        throw std::runtime_error("account " + account.email + ": drafts folder: " + refused.what());
    }
}

}  // namespace

void validateAccounts(const std::vector<Account>& accounts) {
    for (std::size_t i = 0; i < accounts.size(); ++i) {
        const Account& account = accounts[i];
        checkMailTree(account);
        for (std::size_t j = 0; j < i; ++j) {
            if (asciiLower(accounts[j].email) == asciiLower(account.email)) {
                throw std::runtime_error("account " + account.email + " is given twice");
            }
        }
    }
}

std::string describeOptions(const AgentOptions& options, const std::string& configFile) {
    std::string text = "configuration file: " + (configFile.empty() ? std::string("none") : configFile) + "\n";
    text += "socket: " + options.socketPath + "\n";
    text += "drafts dir: " + options.draftsDir + "\n";
    text += "state dir: " + options.stateDir + "\n";
    std::ostringstream seconds;
    seconds << static_cast<double>(options.requestTimeout.count()) / 1000;
    text += "request timeout: " + seconds.str() + " s\n";
    text += "default account: " + options.accounts.front().email + "\n";
    for (const auto& account : options.accounts) {
        text += describeAccount(account);
    }
    return text;
}

}  // namespace quillbrook::dev_agent
