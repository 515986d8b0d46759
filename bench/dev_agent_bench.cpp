// The development agent on a large mailbox: builds a Maildir with make_maildir
// (COUNT messages of about 4 KB in INBOX), runs the built agent on it with a
// fresh state directory and times what a user does with quillbrook-cli: the
// first answer, the whole folder indexed, the next fetch after one rename and
// after one delivery, fetch and read medians and peak memory, while indexing
// and after a restart. Prints
// a Markdown table. Times are wall times of a whole quillbrook-cli process and,
// beside them, of the same request sent over the socket by this program.
//
// Usage: dev_agent_bench [COUNT] [RUNS]   (defaults: 100000 messages, 30 runs)

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "util/unix_socket.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double millisSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

pid_t spawn(std::vector<std::string> argv, const std::string& stdoutPath, const std::string& stderrPath) {
    std::vector<char*> args;
    for (auto& arg : argv) {
        args.push_back(arg.data());
    }
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, stderrPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    pid_t pid = 0;
    if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) != 0) {
        throw std::runtime_error(std::string("cannot start ") + args[0]);
    }
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

int waitFor(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class Bench {
public:
    explicit Bench(std::string dir) : dir_(std::move(dir)) {
        ::setenv("QUILLBROOK_SOCKET", socket().c_str(), 1);
        // The agent finds no configuration file there, so the user's own adds no account.
        ::setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);
    }

    std::string socket() const { return dir_ + "/agent.sock"; }
    std::string mail() const { return dir_ + "/mail"; }

    void startAgent() {
        agent_ = spawn({QUILLBROOK_DEV_AGENT_PATH, "--socket", socket(), "--state-dir", dir_ + "/state", "--drafts-dir",
                        dir_ + "/drafts", "--account", "bench@example.org=" + mail()},
                       "/dev/null", dir_ + "/agent.log");
        while (!quillbrook::connectUnixSocket(socket()).valid()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    // A run that fails half way leaves no agent behind.
    ~Bench() { stopAgent(); }
    Bench(const Bench&) = delete;
    Bench& operator=(const Bench&) = delete;

    void stopAgent() {
        if (agent_ > 0) {
            ::kill(agent_, SIGTERM);
            waitFor(agent_);
            agent_ = -1;
        }
    }

    // Wall time of one quillbrook-cli process, spawn to exit.
    double cli(std::vector<std::string> args) {
        args.insert(args.begin(), QUILLBROOK_CLI_PATH);
        auto start = Clock::now();
        if (waitFor(spawn(args, dir_ + "/out.json", dir_ + "/cli.log")) != 0) {
            throw std::runtime_error("quillbrook-cli failed: " + readFile(dir_ + "/cli.log"));
        }
        return millisSince(start);
    }

    double median(const std::vector<std::string>& args, int runs) {
        std::vector<double> times;
        for (int i = 0; i < runs + 3; ++i) {
            double time = cli(args);
            if (i >= 3) {
                times.push_back(time);
            }
        }
        std::sort(times.begin(), times.end());
        return times[times.size() / 2];
    }

    // Median time of one request over the socket, without a client process:
    // what the agent itself takes.
    double exchange(const std::string& request, int runs) {
        std::vector<double> times;
        for (int i = 0; i < runs; ++i) {
            auto start = Clock::now();
            quillbrook::UniqueFd fd = quillbrook::connectUnixSocket(socket());
            if (!fd.valid() ||
                ::write(fd.get(), request.data(), request.size()) != static_cast<ssize_t>(request.size())) {
                throw std::runtime_error("cannot send to the agent");
            }
            char buffer[65536];
            for (ssize_t got; (got = ::read(fd.get(), buffer, sizeof buffer)) > 0;) {
                if (buffer[got - 1] == '\n') {
                    break;
                }
            }
            times.push_back(millisSince(start));
        }
        std::sort(times.begin(), times.end());
        return times[times.size() / 2];
    }

    // The answer of one request over the socket.
    std::string ask(const std::string& request) {
        quillbrook::UniqueFd fd = quillbrook::connectUnixSocket(socket());
        if (!fd.valid() || ::write(fd.get(), request.data(), request.size()) != static_cast<ssize_t>(request.size())) {
            throw std::runtime_error("cannot send to the agent");
        }
        std::string answer;
        char buffer[65536];
        for (ssize_t got; (got = ::read(fd.get(), buffer, sizeof buffer)) > 0;) {
            answer.append(buffer, static_cast<std::size_t>(got));
            if (answer.back() == '\n') {
                break;
            }
        }
        return answer;
    }

    // Asks for the first page until it is no longer marked as given while indexing.
    void waitForIndex() {
        while (ask("{\"action\":\"list_emails\",\"limit\":1}\n").find("\"indexing\"") != std::string::npos) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }

    // Renames one read message as a mail program does when it is answered.
    void renameOne() {
        for (const auto& entry : std::filesystem::directory_iterator(mail() + "/cur")) {
            std::string path = entry.path().string();
            if (path.size() > 4 && path.compare(path.size() - 4, 4, ":2,S") == 0) {
                std::filesystem::rename(path, path.substr(0, path.size() - 1) + "RS");
                return;
            }
        }
        throw std::runtime_error("no read message to rename");
    }

    std::string lastOutput() const { return readFile(dir_ + "/out.json"); }

    // Seconds of processor time the agent has used (Linux); -1 elsewhere.
    double processorSeconds() const {
        std::string stat = readFile("/proc/" + std::to_string(agent_) + "/stat");
        if (stat.empty()) {
            return -1;
        }
        std::istringstream fields(stat.substr(stat.rfind(')') + 2));
        std::string field;
        long ticks = 0;
        for (int i = 3; i <= 15 && fields >> field; ++i) {
            if (i >= 14) {
                ticks += std::atol(field.c_str());  // utime, stime
            }
        }
        return static_cast<double>(ticks) / static_cast<double>(::sysconf(_SC_CLK_TCK));
    }

    // The agent's peak resident memory in MB (Linux); -1 elsewhere.
    double peakResidentMB() const {
        std::istringstream status(readFile("/proc/" + std::to_string(agent_) + "/status"));
        for (std::string line; std::getline(status, line);) {
            if (line.rfind("VmHWM:", 0) == 0) {
                return std::atof(line.c_str() + 6) / 1024.0;
            }
        }
        return -1;
    }

    void deliver(const std::string& subject) {
        std::string name = "4000000000.M1P1.bench-delivery";  // after every name make_maildir gives
        std::ofstream(mail() + "/tmp/" + name) << "From: late@example.com\nSubject: " << subject
                                               << "\nDate: Fri, 01 Mar 2100 10:00:00 +0000\n\nJust arrived.\n";
        std::rename((mail() + "/tmp/" + name).c_str(), (mail() + "/new/" + name).c_str());
    }

private:
    std::string dir_;
    pid_t agent_ = -1;
};

}  // namespace

int main(int argc, char** argv) {
    long count = argc > 1 ? std::atol(argv[1]) : 100000;
    int runs = argc > 2 ? std::atoi(argv[2]) : 30;
    char pattern[] = "/tmp/qbbench.XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    Bench bench(pattern);
    try {
        std::fprintf(stderr, "writing %ld messages to %s/mail ...\n", count, pattern);
        if (waitFor(spawn({MAKE_MAILDIR_PATH, bench.mail(), std::to_string(count)}, "/dev/null",
                          std::string(pattern) + "/make.log")) != 0) {
            throw std::runtime_error("make_maildir failed");
        }
        // The index looks afresh at directories changed in the last two seconds
        // (a change within the file system's clock tick would not show); a
        // mailbox just written is not what a user has.
        std::this_thread::sleep_for(std::chrono::seconds(3));
        std::string limit = "50";
        auto start = Clock::now();
        bench.startAgent();
        double firstFetch = bench.cli({"fetch", "--limit", limit});
        double firstAnswer = millisSince(start);
        bench.waitForIndex();
        double firstIndex = millisSince(start);
        double indexCpu = bench.processorSeconds();
        double indexingPeak = bench.peakResidentMB();
        double fetch = bench.median({"fetch", "--limit", limit}, runs);
        // The oldest message of the page: a UID the index gave, whatever its numbering.
        std::string output = bench.lastOutput();
        auto uidAt = output.rfind("\"uid\": \"");
        if (uidAt == std::string::npos) {
            throw std::runtime_error("the fetch listed no message");
        }
        uidAt += 8;
        std::string uid = output.substr(uidAt, output.find('"', uidAt) - uidAt);
        double read = bench.median({"read", uid}, runs);
        double fetchExchange = bench.exchange("{\"action\":\"list_emails\",\"limit\":50}\n", runs);
        double readExchange = bench.exchange("{\"action\":\"read_email\",\"uid\":\"" + uid + "\"}\n", runs);
        bench.stopAgent();

        start = Clock::now();
        bench.startAgent();
        double fetchAfterRestart = bench.cli({"fetch", "--limit", limit});
        double restartToFetch = millisSince(start);
        double fetchRestarted = bench.median({"fetch", "--limit", limit}, runs);
        double fetchRestartedExchange = bench.exchange("{\"action\":\"list_emails\",\"limit\":50}\n", runs);
        bench.renameOne();
        double fetchAfterRename = bench.cli({"fetch", "--limit", "1"});
        bench.deliver("Delivered during the benchmark");
        double fetchAfterDelivery = bench.cli({"fetch", "--limit", "1"});
        bool deliveredShows = bench.lastOutput().find("Delivered during the benchmark") != std::string::npos;
        double peak = bench.peakResidentMB();
        bench.stopAgent();

        std::printf("| %ld messages in INBOX (~4 KB each) | time |\n|---|---|\n", count);
        std::printf(
            "| start of the new mailbox to the first `fetch --limit 50` answer | %.0f ms (the fetch: %.1f ms) |\n",
            firstAnswer, firstFetch);
        std::printf(
            "| start to the whole folder indexed | %.0f ms: %.0f messages/s (agent CPU time %.1f s on %u cores) |\n",
            firstIndex, static_cast<double>(count) * 1000.0 / firstIndex, indexCpu,
            std::thread::hardware_concurrency());
        std::printf("| agent peak RSS while indexing | %.0f MB |\n", indexingPeak);
        std::printf("| `fetch --limit 50`, median of %d | %.1f ms (the request alone: %.1f ms) |\n", runs, fetch,
                    fetchExchange);
        std::printf("| `read`, median of %d | %.1f ms (the request alone: %.1f ms) |\n", runs, read, readExchange);
        std::printf("| restart to first `fetch --limit 50` answer | %.1f ms (the fetch: %.1f ms) |\n", restartToFetch,
                    fetchAfterRestart);
        std::printf("| `fetch --limit 50` after the restart, median of %d | %.1f ms (the request alone: %.1f ms) |\n",
                    runs, fetchRestarted, fetchRestartedExchange);
        std::printf("| `fetch` right after one message renamed in cur/ (a flag added) | %.1f ms |\n", fetchAfterRename);
        std::printf("| `fetch` right after a delivery into new/ | %.1f ms, %s |\n", fetchAfterDelivery,
                    deliveredShows ? "shows the new message" : "DOES NOT show the new message");
        std::printf("| agent peak RSS after the restart | %.0f MB |\n", peak);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "dev_agent_bench: %s\n", error.what());
        return 1;
    }
    std::fflush(stdout);
    std::error_code ignored;
    std::filesystem::remove_all(pattern, ignored);
    return 0;
}
