// The JSON work of one command on a ~1 MiB agent answer: a strict parse, then
// one sorted write (pretty for the command line, compact for MCP, compact as a
// JSON string for a tool result's text). Two answers: a list of many small
// messages and one long message with text and HTML bodies.

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include <fstream>

#include "json/json.h"
#include "sample_answer.h"
#include "util/process_setup.h"

namespace {

using namespace quillbrook;

const std::string& listAnswer() {
    static const std::string text = bench::sampleAnswer(1 << 20);
    return text;
}

const std::string& messageAnswer() {
    static const std::string text = bench::okAnswer(bench::readEmailResult(1 << 20));
    return text;
}

enum class Write { pretty, compact, toolText };

template <Write write>
void ParseThenWrite(benchmark::State& state, const std::string& answer) {
    for (auto _ : state) {
        auto document = json::parseStrict(answer);
        std::string text = write == Write::pretty    ? json::writePrettySorted(document->root())
                           : write == Write::compact ? json::writeCompactSorted(document->root())
                                                     : json::writeCompactSortedAsString(document->root());
        benchmark::DoNotOptimize(text);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * answer.size()));
}

void registerAll() {
    struct Sample {
        const char* name;
        const std::string& answer;
    };
    for (const Sample& sample : {Sample{"List", listAnswer()}, Sample{"Message", messageAnswer()}}) {
        auto add = [&](const char* write, auto function) {
            benchmark::RegisterBenchmark((std::string("ParseThenWrite") + write + "/" + sample.name).c_str(), function,
                                         sample.answer)
                ->Unit(benchmark::kMillisecond);
        };
        add("PrettySorted", ParseThenWrite<Write::pretty>);
        add("CompactSorted", ParseThenWrite<Write::compact>);
        add("ToolText", ParseThenWrite<Write::toolText>);
    }
    // The library's own path, for comparison: nlohmann parse and dump.
    benchmark::RegisterBenchmark("NlohmannParseThenDump/List", [](benchmark::State& state) {
        for (auto _ : state) {
            auto text = nlohmann::json::parse(listAnswer()).dump(2);
            benchmark::DoNotOptimize(text);
        }
        state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * listAnswer().size()));
    })->Unit(benchmark::kMillisecond);
}

}  // namespace

// `json_passthrough_bench --write-sample FILE` writes the list answer for other
// tools (jq) to be timed on the same bytes.
int main(int argc, char** argv) {
    using namespace quillbrook;
    if (argc == 3 && std::string_view(argv[1]) == "--write-sample") {
        std::ofstream(argv[2]) << listAnswer() << '\n';
        return 0;
    }
    prepareProcess();
    registerAll();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
