// Soak: one `quillbrook-cli mcp` process serves many tool calls, small answers
// with a near-1 MiB one spread among them. Exits 1 when its open descriptors
// at the end differ from those after the warm-up, or when its resident memory
// rises steadily, as a leak makes it rise. Bounded counts, so CI runs it
// (scripts/soak.sh).
//
// Resident memory at one instant is noise: the allocator hands a freed 1 MiB
// buffer back or keeps it, so two single readings differ by a megabyte with
// no leak. So the memory is read every few calls after a warm-up that has
// served many large answers, the rest of the run is cut into quarters, and
// each quarter counts as its median reading, which no momentary reading moves.
// A leak raises every quarter above the one before; a buffer the allocator
// keeps from some point on raises one. The run grew when each quarter is
// above the previous one by more than kGrowthBytesPerCall for each call
// between them: a quarter of the smallest heap block (32 bytes), so one small
// allocation leaked per call is four times the bar, while the medians of a
// sound run move by a few pages.
//
// Usage: mcp_soak path/to/quillbrook-cli [small-calls [large-calls]]

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "sample_answer.h"
#include "support/canned_agent.h"
#include "support/piped_child.h"

namespace {

using namespace quillbrook;

constexpr double kGrowthBytesPerCall = 8;
constexpr int kWarmUpPercent = 10;
constexpr int kSampleEvery = 50;
constexpr int kQuarters = 4;

struct Usage {
    long descriptors = 0;
    long rssKiB = 0;
};

Usage usageOf(pid_t pid) {
    const std::string proc = "/proc/" + std::to_string(pid);
    Usage usage;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(proc + "/fd")) {
        ++usage.descriptors;
    }
    std::ifstream status(proc + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("VmRSS:")) {
            usage.rssKiB = std::atol(line.c_str() + 6);
        }
    }
    return usage;
}

std::string toolCall(int id, const char* tool) {
    return R"({"jsonrpc":"2.0","id":)" + std::to_string(id) + R"(,"method":"tools/call","params":{"name":")" + tool +
           R"(","arguments":{"account":"ada@example.com","email_id":"42"}}})"
           "\n";
}

long median(std::vector<long> values) {
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

// Readings of resident memory, one list per quarter of the calls after the warm-up.
class RssQuarters {
public:
    RssQuarters(int firstCall, int lastCall) : firstCall_(firstCall), calls_(lastCall - firstCall + 1) {}

    void add(int call, long rssKiB) {
        readings_[static_cast<std::size_t>((call - firstCall_) * kQuarters / calls_)].push_back(rssKiB);
    }

    std::array<long, kQuarters> medians() const {
        std::array<long, kQuarters> result{};
        std::transform(readings_.begin(), readings_.end(), result.begin(),
                       [](const std::vector<long>& readings) { return readings.empty() ? 0 : median(readings); });
        return result;
    }

    // Whether every quarter's median is above the one before by more than the bar.
    bool grewSteadily() const {
        const auto values = medians();
        const double barKiB = kGrowthBytesPerCall * calls_ / kQuarters / 1024;
        for (std::size_t quarter = 1; quarter < values.size(); ++quarter) {
            if (values[quarter] - values[quarter - 1] <= barKiB) {
                return false;
            }
        }
        return true;
    }

private:
    int firstCall_;
    int calls_;
    std::array<std::vector<long>, kQuarters> readings_;
};

int run(const std::string& cli, int smallCalls, int largeCalls) {
    const std::string small = bench::okAnswer(R"({"accounts":[{"email":"ada@example.com","name":"Ada"}]})");
    const std::string large = bench::okAnswer(bench::readEmailResult(1000 * 1000));
    fuzz_support::CannedAgent agent(
        [&](std::string_view request) { return request.find("read_email") != request.npos ? large : small; });
    test_support::PipedChild server({cli, "mcp"}, {{"QUILLBROOK_SOCKET", agent.socketPath()}});
    server.send(R"({"jsonrpc":"2.0","id":0,"method":"initialize","params":{}})"
                "\n");
    if (!server.readLine()) {
        throw std::runtime_error("no answer to initialize");
    }

    const int calls = smallCalls + largeCalls;
    const int largeEvery = largeCalls > 0 ? calls / largeCalls : calls + 1;
    const int warmUpCalls = calls * kWarmUpPercent / 100;
    if (calls - warmUpCalls < kQuarters * kSampleEvery) {
        throw std::runtime_error("too few calls to read the memory " + std::to_string(kQuarters) + " times");
    }
    Usage warm;
    RssQuarters quarters(warmUpCalls + 1, calls);
    for (int id = 1; id <= calls; ++id) {
        const bool isLarge = id % largeEvery == 0;
        server.send(toolCall(id, isLarge ? "read_email" : "list_accounts"));
        auto answer = server.readLine();
        if (!answer || answer->find(R"({\"error\":)") != std::string::npos ||
            (isLarge && answer->size() < 1000 * 1000)) {
            throw std::runtime_error("call " + std::to_string(id) +
                                     " failed: " + answer.value_or("(no answer)").substr(0, 200));
        }
        if (id == warmUpCalls) {
            warm = usageOf(server.pid());
        } else if (id > warmUpCalls && id % kSampleEvery == 0) {
            quarters.add(id, usageOf(server.pid()).rssKiB);
        }
    }
    const Usage last = usageOf(server.pid());
    const int status = server.wait().status;
    const bool descriptorsKept = last.descriptors == warm.descriptors;
    const bool memoryKept = !quarters.grewSteadily();
    const auto medians = quarters.medians();
    std::printf(
        "%d calls (%d with a near-1 MiB answer): after the first %d, %ld descriptors and %ld KiB resident; "
        "at the end %ld descriptors: %s; median KiB resident by quarter after that: %ld %ld %ld %ld: %s\n",
        calls, calls / largeEvery, warmUpCalls, warm.descriptors, warm.rssKiB, last.descriptors,
        descriptorsKept ? "kept" : "CHANGED", medians[0], medians[1], medians[2], medians[3],
        memoryKept ? "no steady growth" : "GREW STEADILY");
    return descriptorsKept && memoryKept && status == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: mcp_soak path/to/quillbrook-cli [small-calls [large-calls]]\n");
        return 2;
    }
    try {
        return run(argv[1], argc > 2 ? std::atoi(argv[2]) : 100000, argc > 3 ? std::atoi(argv[3]) : 2000);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "mcp_soak: %s\n", error.what());
        return 1;
    }
}
