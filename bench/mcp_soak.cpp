// Soak: one `quillbrook-cli mcp` process serves many tool calls, small answers
// with a near-1 MiB one spread among them; its open descriptors and resident
// memory at the end must equal those after the first thousand calls. Exits 1
// when they grew. Bounded counts, so CI runs it (scripts/soak.sh).
//
// Usage: mcp_soak path/to/quillbrook-cli [small-calls [large-calls]]

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include "sample_answer.h"
#include "support/canned_agent.h"
#include "support/piped_child.h"

namespace {

using namespace quillbrook;

// Resident memory can move by a few pages as the allocator settles; anything
// beyond this is growth.
constexpr long kRssSlackKiB = 512;
constexpr int kFirstCalls = 1000;

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
    Usage first;
    for (int id = 1; id <= calls; ++id) {
        const bool isLarge = id % largeEvery == 0;
        server.send(toolCall(id, isLarge ? "read_email" : "list_accounts"));
        auto answer = server.readLine();
        if (!answer || answer->find(R"({\"error\":)") != std::string::npos ||
            (isLarge && answer->size() < 1000 * 1000)) {
            throw std::runtime_error("call " + std::to_string(id) +
                                     " failed: " + answer.value_or("(no answer)").substr(0, 200));
        }
        if (id == kFirstCalls) {
            first = usageOf(server.pid());
        }
    }
    const Usage last = usageOf(server.pid());
    const int status = server.wait().status;
    const bool flat = last.descriptors == first.descriptors && last.rssKiB <= first.rssKiB + kRssSlackKiB;
    std::printf(
        "%d calls (%d with a near-1 MiB answer): after %d calls %ld descriptors, %ld KiB resident; "
        "at the end %ld descriptors, %ld KiB resident: %s\n",
        calls, calls / largeEvery, kFirstCalls, first.descriptors, first.rssKiB, last.descriptors, last.rssKiB,
        flat ? "flat" : "GREW");
    return flat && status == 0 ? 0 : 1;
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
