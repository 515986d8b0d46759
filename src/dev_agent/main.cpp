// quillbrook-dev-agent: a development stand-in for the mail application's agent.
// It serves the agent socket over mail kept in Maildir folders on disk, so that
// quillbrook-cli, MCP integrations and the tests have a real agent to talk to.

#include <exception>
#include <iostream>
#include <thread>

#include <CLI/CLI.hpp>

#include "dev_agent/agent_options.h"
#include "dev_agent/base/log.h"
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

int run(const AgentOptions& options) {
    validateAccounts(options.accounts);
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
        "It never sends, moves or deletes mail.",
        "quillbrook-dev-agent"};
    app.set_version_flag("--version", std::string(quillbrook::kVersion));

    AgentOptions options;
    std::vector<std::string> accountOptions;
    double timeoutSeconds = 10;
    app.add_option("--socket", options.socketPath, "Socket path (default: $HOME/.quillbrook/agent.sock)")
        ->type_name("PATH");
    app.add_option("--account", accountOptions,
                   "An account: DIR is a Maildir whose root is INBOX. Repeatable; the first is the default account")
        ->type_name("EMAIL=DIR[:NAME]")
        ->required()
        ->allow_extra_args(false);
    app.add_option("--drafts-dir", options.draftsDir, "Local drafts directory (default: drafts/ beside the socket)")
        ->type_name("DIR");
    app.add_option("--state-dir", options.stateDir,
                   "Directory for the index of messages and UIDs (default: dev-agent-state/ beside the socket)")
        ->type_name("DIR");
    app.add_option("--request-timeout", timeoutSeconds, "Seconds a client has to send its request line (default: 10)")
        ->type_name("SECONDS")
        ->check(CLI::Range(0.01, 3600.0));
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
            options.accounts.push_back(parseAccountOption(text));
        }
        if (options.socketPath.empty()) {
            options.socketPath = defaultSocketPath();
        }
        if (options.draftsDir.empty()) {
            options.draftsDir = besideSocket(options.socketPath, "drafts");
        }
        if (options.stateDir.empty()) {
            options.stateDir = besideSocket(options.socketPath, "dev-agent-state");
        }
        options.requestTimeout = std::chrono::milliseconds(static_cast<long long>(timeoutSeconds * 1000));
        return run(options);
    } catch (const std::exception& error) {
        logLine(error.what());
        return exitCode(quillbrook::ExitStatus::failure);
    }
}
