// The one benchmark command. Every figure is a ratio of two programs measured
// side by side in the same run, against the same canned agent:
// - one `accounts list` process against a minimal raw-socket C client linked
//   statically, and against `socat - UNIX-CONNECT:... | jq -S .`;
// - a near-1 MiB `read` answer pretty-printed, against socat and `jq -S .`;
// - `quillbrook-cli mcp` calls per second and peak memory against the same
//   seven tools written with the official MCP TypeScript SDK
//   (bench/sdk_reference; `npm ci --prefix bench/sdk_reference`).
// Prints a Markdown table. Run it on a Release build:
//
//   quillbrook_bench [scale]     (scale multiplies the run and call counts)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "sample_answer.h"
#include "support/canned_agent.h"
#include "support/piped_child.h"

namespace {

using namespace quillbrook;
using fuzz_support::CannedAgent;
using test_support::PipedChild;
using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Runs one process to its end with standard output to /dev/null; its wall time in ms.
double timeProcess(std::vector<std::string> argv, const std::vector<std::string>& env) {
    std::vector<char*> args, envp;
    for (auto& arg : argv)
        args.push_back(arg.data());
    args.push_back(nullptr);
    std::vector<std::string> envCopy = env;
    for (auto& entry : envCopy)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    const auto start = Clock::now();
    pid_t pid = 0;
    int failed = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    if (failed != 0 || ::waitpid(pid, &status, 0) < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        throw std::runtime_error(argv[0] + " failed");
    }
    return millisecondsSince(start);
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Median wall times of the given commands, run in turn (never one batch after
// another) so that all of them see the same machine.
std::vector<double> interleavedMedians(const std::vector<std::vector<std::string>>& commands,
                                       const std::vector<std::string>& env, int runs) {
    std::vector<std::vector<double>> times(commands.size());
    for (int run = 0; run < runs + 5; ++run) {
        // The order alternates, so that no command always follows the same one.
        for (std::size_t k = 0; k < commands.size(); ++k) {
            const std::size_t i = run % 2 == 0 ? k : commands.size() - 1 - k;
            double ms = timeProcess(commands[i], env);
            if (run >= 5) {  // the first runs warm the caches
                times[i].push_back(ms);
            }
        }
    }
    std::vector<double> medians;
    for (auto& series : times)
        medians.push_back(median(series));
    return medians;
}

// The shell pipeline a user would write instead: the request line through socat, the answer through jq.
std::vector<std::string> socatJq(const std::string& request) {
    return {"/bin/sh", "-c",
            "printf '%s\\n' '" + request + "' | socat - \"UNIX-CONNECT:$QUILLBROOK_SOCKET\" | jq -S ."};
}

std::vector<std::string> environmentFor(const CannedAgent& agent) {
    const char* path = std::getenv("PATH");
    return {"QUILLBROOK_SOCKET=" + agent.socketPath(), std::string("PATH=") + (path ? path : "/usr/bin:/bin")};
}

struct Row {
    std::string what;
    std::string ours;
    std::string theirs;
    double ratio;
    std::string aim;
    bool met;
};

std::string format(const char* pattern, double value) {
    char text[64];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

std::vector<Row> oneShotRows(int runs) {
    std::vector<Row> rows;
    const std::string accounts = R"({"accounts":[{"email":"ada@example.com","isDefault":true,"name":"Ada Lindqvist"},)"
                                 R"({"email":"sam.okafor@example.org","isDefault":false,"name":"Sam Okafor"}]})";
    {
        CannedAgent agent(bench::okAnswer(accounts));
        auto ms = interleavedMedians({{QUILLBROOK_CLI_PATH, "accounts", "list"},
                                      {MINIMAL_CLIENT_PATH},
                                      socatJq(R"({"action":"list_accounts"})")},
                                     environmentFor(agent), runs);
        rows.push_back({"`accounts list`, one process: static C client", format("%.2f ms", ms[0]),
                        format("%.2f ms", ms[1]), ms[0] / ms[1], "<= 1.2", ms[0] / ms[1] <= 1.2});
        rows.push_back({"`accounts list`, one process: `socat` piped to `jq -S .`", format("%.2f ms", ms[0]),
                        format("%.2f ms", ms[2]), ms[0] / ms[2], "", true});
    }
    {
        CannedAgent agent(bench::okAnswer(bench::readEmailResult(1000 * 1000)));
        auto ms = interleavedMedians(
            {{QUILLBROOK_CLI_PATH, "read", "42"}, socatJq(R"({"action":"read_email","uid":"42","folder":"INBOX"})")},
            environmentFor(agent), std::max(3, runs / 10));
        rows.push_back({"`read`, near-1 MiB answer pretty-printed: `socat` piped to `jq -S .`",
                        format("%.2f ms", ms[0]), format("%.2f ms", ms[1]), ms[0] / ms[1], "", true});
    }
    return rows;
}

struct ServerFigures {
    double callsPerSecond = 0;
    double peakRssMiB = 0;
};

const std::string kInitialize =
    R"({"jsonrpc":"2.0","id":0,"method":"initialize","params":{"protocolVersion":"2024-11-05","capabilities":{},)"
    R"("clientInfo":{"name":"bench","version":"1"}}})"
    "\n"
    R"({"jsonrpc":"2.0","method":"notifications/initialized"})"
    "\n";

// One MCP server process driven as a host drives it: each tool call sent when
// the previous answer has arrived.
class DrivenServer {
public:
    DrivenServer(const std::vector<std::string>& argv, const CannedAgent& agent, std::string call)
        : name_(argv[0]), call_(std::move(call)), process_(argv, {{"QUILLBROOK_SOCKET", agent.socketPath()}}) {
        process_.send(kInitialize);
        if (!process_.readLine(std::chrono::seconds(30))) {
            throw std::runtime_error(name_ + ": no answer to initialize");
        }
    }

    // Makes `calls` calls; returns how long they took in ms.
    double run(int calls) {
        const auto started = Clock::now();
        for (int i = 0; i < calls; ++i) {
            process_.send(R"({"jsonrpc":"2.0","id":)" + std::to_string(++id_) + R"(,"method":"tools/call","params":)" +
                          call_ + "}\n");
            auto answer = process_.readLine(std::chrono::seconds(30));
            if (!answer || answer->find(R"({\"error\":)") != std::string::npos) {
                throw std::runtime_error(name_ + ": call failed: " + answer.value_or("(no answer)").substr(0, 200));
            }
        }
        return millisecondsSince(started);
    }

    double peakRssMiB() { return static_cast<double>(process_.wait().peakRssKiB) / 1024; }

private:
    std::string name_;
    std::string call_;
    PipedChild process_;
    int id_ = 0;
};

bool sdkInstalled() {
    struct stat info {};
    return std::string(NODE_PATH).size() > 0 &&
           ::stat(SDK_REFERENCE_DIR "/node_modules/@modelcontextprotocol/sdk", &info) == 0;
}

std::vector<Row> mcpRows(double scale) {
    struct Scenario {
        const char* name;
        std::string result;
        std::string call;
        int calls;
        double aim;
    };
    const std::vector<Scenario> scenarios = {
        {"small answer", R"({"accounts":[{"email":"ada@example.com","isDefault":true,"name":"Ada Lindqvist"}]})",
         R"({"name":"list_accounts","arguments":{}})", 4000, 10},
        {"200-message list (~150 KB)", bench::mailboxResult(200, 750),
         R"({"name":"list_emails","arguments":{"account":"ada@example.com","limit":200}})", 400, 5},
        {"near-1 MiB message", bench::readEmailResult(1000 * 1000),
         R"({"name":"read_email","arguments":{"account":"ada@example.com","email_id":"42"}})", 60, 5},
    };
    std::vector<Row> rows;
    for (const Scenario& scenario : scenarios) {
        CannedAgent agent(bench::okAnswer(scenario.result));
        const int calls = std::max(5, static_cast<int>(scenario.calls * scale));
        DrivenServer ours({QUILLBROOK_CLI_PATH, "mcp"}, agent, scenario.call);
        if (!sdkInstalled()) {
            rows.push_back({std::string("MCP calls/s, ") + scenario.name + ": SDK server not installed",
                            format("%.0f", calls / (ours.run(calls) / 1000)), "n/a", 0, "", false});
            continue;
        }
        DrivenServer sdk({NODE_PATH, SDK_REFERENCE_DIR "/server.mjs"}, agent, scenario.call);
        // Untimed calls warm a JIT-compiled server; then both run in turns of a
        // few calls each, so that both see the same machine.
        sdk.run(calls / 5);
        ours.run(calls / 5);
        constexpr int kTurns = 20;
        const int perTurn = std::max(1, calls / kTurns);
        double oursMs = 0, sdkMs = 0;
        for (int turn = 0; turn < kTurns; ++turn) {
            oursMs += ours.run(perTurn);
            sdkMs += sdk.run(std::max(1, perTurn / 4));
        }
        ServerFigures figures{kTurns * perTurn / (oursMs / 1000), ours.peakRssMiB()};
        ServerFigures reference{kTurns * std::max(1, perTurn / 4) / (sdkMs / 1000), sdk.peakRssMiB()};
        const double speed = figures.callsPerSecond / reference.callsPerSecond;
        const double memory = figures.peakRssMiB / reference.peakRssMiB;
        rows.push_back({std::string("MCP calls/s, ") + scenario.name + ": TypeScript SDK server",
                        format("%.0f", figures.callsPerSecond), format("%.0f", reference.callsPerSecond), speed,
                        format(">= %.0f", scenario.aim), speed >= scenario.aim});
        rows.push_back({std::string("MCP peak RSS, ") + scenario.name + ": TypeScript SDK server",
                        format("%.1f MiB", figures.peakRssMiB), format("%.1f MiB", reference.peakRssMiB), memory,
                        "<= 0.1", memory <= 0.1});
    }
    return rows;
}

}  // namespace

int main(int argc, char** argv) {
    const double scale = argc > 1 ? std::atof(argv[1]) : 1.0;
    try {
        std::vector<Row> rows = oneShotRows(std::max(10, static_cast<int>(200 * scale)));
        for (Row& row : mcpRows(scale))
            rows.push_back(std::move(row));
        std::printf("| Measure: yardstick | quillbrook-cli | yardstick | ratio | aim |\n");
        std::printf("|---|---:|---:|---:|---|\n");
        for (const Row& row : rows) {
            std::printf("| %s | %s | %s | %.2f | %s |\n", row.what.c_str(), row.ours.c_str(), row.theirs.c_str(),
                        row.ratio, row.aim.empty() ? "" : (row.aim + (row.met ? " met" : " **missed**")).c_str());
        }
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "quillbrook_bench: %s\n", error.what());
        return 1;
    }
}
