// Soak of the development agent at its limits, where the figures are memory
// and processor time, which no test may time. Exits 1 when
// - after twenty requests of near 1 MiB at once, its resident memory has not
//   come back within kGivenBackKiB of what it was before, kSettleTime after the
//   last answer (idle, the agent hands its grown heap back; without that it
//   keeps the peak, some hundred MiB);
// - paused for want of descriptors, it uses more than a tenth of the time it
//   waits in processor time (an accept loop that retries at once spins a whole
//   core; the paused loop wakes ten times a second to try again).
// Memory and descriptors over many calls are the MCP soak's (mcp_soak.cpp).
// Bounded, so CI runs it (scripts/soak.sh).
//
// Usage: dev_agent_soak

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

#include "dev_agent_fixture.h"

namespace {

using namespace quillbrook::dev_agent_test;
using quillbrook::test_support::UnixConnection;
using namespace std::chrono_literals;

constexpr long kGivenBackKiB = 64 * 1024;
constexpr auto kSettleTime = 10s;
constexpr auto kPausedWindow = 2s;
constexpr double kMostPausedShare = 0.1;

const std::string kListAccounts = "{\"action\":\"list_accounts\"}\n";

// A field of /proc/`pid`/status in KiB, such as "VmRSS:".
long statusKiB(pid_t pid, const std::string& field) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with(field)) {
            return std::atol(line.c_str() + field.size());
        }
    }
    throw std::runtime_error("no " + field + " in /proc/" + std::to_string(pid) + "/status");
}

// Seconds of processor time `pid` has used (user and system), from /proc.
double processorSeconds(pid_t pid) {
    std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string field;
    long ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14 || i == 15) {
            ticks += std::stol(field);
        }
    }
    return static_cast<double>(ticks) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

bool answeredOk(const std::string& line) { return line.find("\"ok\":true") != std::string::npos; }

double seconds(std::chrono::steady_clock::duration duration) { return std::chrono::duration<double>(duration).count(); }

bool memoryComesBackAfterABurst() {
    TempDir home;
    copySampleMail(home.path() + "/mail");
    AgentProcess agent(home.path());
    if (!answeredOk(roundTrip(agent.socketPath(), "{\"action\":\"list_emails\",\"limit\":200}\n"))) {
        throw std::runtime_error("the agent did not list INBOX: " + agent.log());
    }
    const long idle = statusKiB(agent.pid(), "VmRSS:");
    const std::string request = nearlyLargestRequest();
    const std::vector<std::string> answers = atOnce(20, [&] { return roundTrip(agent.socketPath(), request); });
    for (const std::string& answer : answers) {
        if (!answeredOk(answer)) {
            throw std::runtime_error("a large request was not answered: " + answer.substr(0, 200));
        }
    }
    const auto answered = std::chrono::steady_clock::now();
    long now = statusKiB(agent.pid(), "VmRSS:");
    while (now > idle + kGivenBackKiB && std::chrono::steady_clock::now() - answered < kSettleTime) {
        std::this_thread::sleep_for(50ms);
        now = statusKiB(agent.pid(), "VmRSS:");
    }
    const bool givenBack = now <= idle + kGivenBackKiB;
    std::printf(
        "%zu requests of 1 MB at once: %ld KiB resident before, %ld KiB at the peak, %ld KiB %.2f s after "
        "the last answer: %s\n",
        answers.size(), idle, statusKiB(agent.pid(), "VmHWM:"), now,
        seconds(std::chrono::steady_clock::now() - answered), givenBack ? "given back" : "KEPT");
    return givenBack;
}

bool pausedForDescriptorsStaysIdle() {
    TempDir home;
    copySampleMail(home.path() + "/mail");
    rlimit saved{};
    ::getrlimit(RLIMIT_NOFILE, &saved);
    rlimit tight = saved;
    tight.rlim_cur = 24;
    if (::setrlimit(RLIMIT_NOFILE, &tight) != 0) {
        throw std::runtime_error("cannot lower the limit of open files");
    }
    std::unique_ptr<AgentProcess> agent;
    try {
        agent = std::make_unique<AgentProcess>(home.path(), std::vector<std::string>{"--request-timeout", "60"});
    } catch (...) {
        ::setrlimit(RLIMIT_NOFILE, &saved);
        throw;
    }
    ::setrlimit(RLIMIT_NOFILE, &saved);
    std::vector<std::unique_ptr<UnixConnection>> silent;
    for (int i = 0; i < 40; ++i) {
        silent.push_back(std::make_unique<UnixConnection>(agent->socketPath()));
    }
    if (agent->waitForLog("pausing new connections", 20s) == std::string::npos) {
        throw std::runtime_error("the agent did not pause: " + agent->log());
    }
    const double before = processorSeconds(agent->pid());
    std::this_thread::sleep_for(kPausedWindow);
    const double used = processorSeconds(agent->pid()) - before;
    silent.clear();
    if (!answeredOk(roundTrip(agent->socketPath(), kListAccounts))) {
        throw std::runtime_error("the agent did not serve after the silent clients left: " + agent->log());
    }
    const bool idle = used <= kMostPausedShare * seconds(kPausedWindow);
    std::printf("paused for want of descriptors: %.2f s of processor time in %.0f s: %s\n", used,
                seconds(kPausedWindow), idle ? "idle" : "SPINS");
    return idle;
}

}  // namespace

int main() {
    try {
        const bool memory = memoryComesBackAfterABurst();
        const bool paused = pausedForDescriptorsStaysIdle();
        return memory && paused ? 0 : 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "dev_agent_soak: %s\n", error.what());
        return 1;
    }
}
