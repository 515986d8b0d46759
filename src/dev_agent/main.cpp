// quillbrook-dev-agent: a development stand-in for the mail application's agent.
// It serves the agent socket over mail kept in Maildir folders on disk, so that
// quillbrook-cli, MCP integrations and the tests have a real agent to talk to.

#include <chrono>
#include <exception>
#include <iostream>
#include <optional>

#include <CLI/CLI.hpp>

#include "dev_agent/agent_options.h"
#include "dev_agent/base/log.h"
#include "dev_agent/config_file.h"
#include "dev_agent/protocol/actions.h"
#include "dev_agent/server/listener.h"
#include "dev_agent/server/server.h"
#include "dev_agent/server/shutdown_deadline.h"
#include "dev_agent/server/stop_signal.h"
#include "dev_agent/store/local_drafts.h"
#include "dev_agent/store/mail_store.h"
#include "dev_agent/store/state_lock.h"
#include "util/exit_status.h"
#include "util/process_setup.h"
#include "util/version.h"

namespace {

using namespace quillbrook::dev_agent;

// How long a stop may take before the agent ends without waiting for requests.
constexpr std::chrono::milliseconds kShutdownGrace{900};

// What --check-config shows; it takes neither the state directory nor the socket.
int printConfiguration(const AgentOptions& options, const std::string& configFile) {
    std::cout << describeOptions(options, configFile) << std::flush;
    return exitCode(std::cout ? quillbrook::ExitStatus::success : quillbrook::ExitStatus::failure);
}

int run(const AgentOptions& options) {
    StopSignal stop;
    // The lock first: an agent that cannot have the state directory leaves the
    // socket to the one that has it.
    StateDirectoryLock stateLock(options.stateDir);
    Listener listener(options.socketPath);
    MailStore mail(options.accounts, options.stateDir);
    LocalDraftStore drafts(options.draftsDir);
    logLine("serving " + std::to_string(options.accounts.size()) + " account(s) on " + listener.path() +
            "; local drafts in " + options.draftsDir + ", index in " + options.stateDir);
    ActionContext context{mail, drafts};
    enforceShutdownDeadline(stop, listener, kShutdownGrace);
    serve(listener, stop, context, options.requestTimeout);
    logLine("stopped; removed " + listener.path());
    return exitCode(quillbrook::ExitStatus::success);
}

}  // namespace

int main(int argc, char** argv) {
    quillbrook::prepareProcess();
    quillbrook::returnMemoryPromptly();
    CLI::App app{
        "Development agent for quillbrook-cli: serves mail from Maildir folders on the agent socket. "
        "It never sends, moves or deletes mail. Its accounts and options come from its configuration file "
        "($XDG_CONFIG_HOME/quillbrook/dev-agent.toml, else ~/.config/quillbrook/dev-agent.toml, when present) "
        "and the command line, which adds accounts and overrides the file's options.",
        "quillbrook-dev-agent"};
    app.set_version_flag("--version", std::string(quillbrook::kVersion));

    AgentSettings given;
    std::vector<std::string> accountOptions;
    std::string configPath;
    bool checkConfig = false;
    double timeoutSeconds = 10;
    CLI::Option* configOption =
        app.add_option("--config", configPath, "The configuration file to read instead (it must exist)")
            ->type_name("FILE");
    app.add_flag("--check-config", checkConfig,
                 "Print the accounts (with their folders), paths and options it would serve, then exit");
    app.add_option("--socket", given.socketPath, "Socket path (default: $HOME/.quillbrook/agent.sock)")
        ->type_name("PATH");
    app.add_option("--account", accountOptions,
                   "An account: DIR is its tree of Maildir folders (Maildir++, or a directory per folder as "
                   "mbsync or offlineimap write it). Repeatable, added after the file's accounts; the first "
                   "account is the default")
        ->type_name("EMAIL=DIR[:NAME]")
        ->allow_extra_args(false);
    app.add_option("--drafts-dir", given.draftsDir, "Local drafts directory (default: drafts/ beside the socket)")
        ->type_name("DIR");
    app.add_option("--state-dir", given.stateDir,
                   "Directory for the index of messages and UIDs (default: dev-agent-state/ beside the socket)")
        ->type_name("DIR");
    CLI::Option* timeoutOption = app.add_option("--request-timeout", timeoutSeconds,
                                                "Seconds a client has to send its request line (default: 10)")
                                     ->type_name("SECONDS")
                                     ->check(CLI::Range(kMinRequestTimeoutSeconds, kMaxRequestTimeoutSeconds));
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& done) {
        return app.exit(done);
    } catch (const CLI::ParseError& error) {
        app.exit(error);
        return exitCode(quillbrook::ExitStatus::usage);
    }

    try {
        for (const auto& text : accountOptions) {
            given.accounts.push_back(parseAccountOption(text));
        }
        if (timeoutOption->count() > 0) {
            given.requestTimeout = requestTimeoutOf(timeoutSeconds);
        }
        bool named = configOption->count() > 0;
        std::string path = named ? configPath : defaultConfigFilePath();
        std::optional<AgentSettings> file = named || !path.empty() ? readConfigFile(path, named) : std::nullopt;
        AgentOptions options = resolveOptions(file.value_or(AgentSettings{}), given, path);
        validateAccounts(options.accounts);
        return checkConfig ? printConfiguration(options, file ? path : "") : run(options);
    } catch (const ConfigurationError& error) {
        logLine(error.what());
        return exitCode(quillbrook::ExitStatus::usage);
    } catch (const std::exception& error) {
        logLine(error.what());
        return exitCode(quillbrook::ExitStatus::failure);
    }
}
