// The JSON work of one command on a ~1 MiB agent answer: a strict parse, then
// one sorted write (pretty for the command line, compact for MCP).

#include <benchmark/benchmark.h>

#include <fstream>

#include "json/json.h"
#include "util/process_setup.h"
#include "sample_answer.h"

namespace {

using namespace quillbrook;

const std::string& answer() {
    static const std::string text = bench::sampleAnswer(1 << 20);
    return text;
}

template <bool pretty>
void ParseThenWriteSorted(benchmark::State& state) {
    for (auto _ : state) {
        auto document = json::parseStrict(answer());
        auto text = pretty ? json::writePrettySorted(document->root()) : json::writeCompactSorted(document->root());
        benchmark::DoNotOptimize(text);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * answer().size()));
}
BENCHMARK(ParseThenWriteSorted<true>)->Name("ParseThenWritePrettySorted")->Unit(benchmark::kMillisecond);
BENCHMARK(ParseThenWriteSorted<false>)->Name("ParseThenWriteCompactSorted")->Unit(benchmark::kMillisecond);

// The library's own path, for comparison: nlohmann parse and dump.
void NlohmannParseThenDump(benchmark::State& state) {
    for (auto _ : state) {
        auto text = nlohmann::json::parse(answer()).dump(2);
        benchmark::DoNotOptimize(text);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * answer().size()));
}
BENCHMARK(NlohmannParseThenDump)->Unit(benchmark::kMillisecond);

}  // namespace

// `json_passthrough_bench --write-sample FILE` writes the answer for other tools
// (jq) to be timed on the same bytes.
int main(int argc, char** argv) {
    using namespace quillbrook;
    if (argc == 3 && std::string_view(argv[1]) == "--write-sample") {
        std::ofstream(argv[2]) << answer() << '\n';
        return 0;
    }
    prepareProcess();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
