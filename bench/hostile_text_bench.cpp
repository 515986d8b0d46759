#include <string>

#include <benchmark/benchmark.h>

#include "dev_agent/mime/encoded_words.h"
#include "dev_agent/mime/html_text.h"
#include "dev_agent/mime/message_composer.h"
#include "dev_agent/mime/message_reader.h"

// The worst case of each scan the agent makes over text a sender chooses, at
// growing sizes: the time per byte must stay flat (the fitted complexity is
// printed as O(N)). Sizes run up to the 16 MiB the agent reads of a message.

namespace {

using namespace quillbrook::dev_agent;

constexpr std::int64_t kKiB = 1024;
constexpr std::int64_t kMiB = 1024 * kKiB;

// `unit` repeated to at least `size` bytes.
std::string repeated(std::string_view unit, std::int64_t size) {
    std::string text;
    text.reserve(static_cast<std::size_t>(size) + unit.size());
    while (static_cast<std::int64_t>(text.size()) < size) {
        text.append(unit);
    }
    return text;
}

// A header block around `field` (which ends in a line feed), and a short body.
std::string headerWith(const std::string& field) {
    return "Date: Mon, 7 Dec 2026 10:00:00 +0000\n" + field + "Message-ID: <m@example.com>\n\nbody\n";
}

void bytesPerIteration(benchmark::State& state, std::size_t bytes) {
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes));
    state.SetComplexityN(static_cast<std::int64_t>(bytes));
}

// An HTML body of `&` alone: every one starts an entity that never ends.
void htmlOfAmpersands(benchmark::State& state) {
    const std::string html(static_cast<std::size_t>(state.range(0)), '&');
    for (auto _ : state) {
        benchmark::DoNotOptimize(htmlToText(html));
    }
    bytesPerIteration(state, html.size());
}

// "&#10;<br>" repeated: the text ends in ever more line feeds, each <br> looks
// at them.
void htmlOfLineFeedsAndBreaks(benchmark::State& state) {
    const std::string html = repeated("&#10;<br>", state.range(0));
    for (auto _ : state) {
        benchmark::DoNotOptimize(htmlToText(html));
    }
    bytesPerIteration(state, html.size());
}

// A Subject of encoded words that never close: each "=?" starts a word.
std::string unclosedEncodedWords(std::int64_t size) {
    return headerWith("Subject: " + repeated("=?utf-8?q?a? ", size) + "\n");
}

void relabelUnclosedEncodedWords(benchmark::State& state) {
    const std::string header = unclosedEncodedWords(state.range(0));
    for (auto _ : state) {
        benchmark::DoNotOptimize(relabelMislabelledEncodedWords(header));
    }
    bytesPerIteration(state, header.size());
}

// The same header read as a message list reads it, GMime's decoding included.
void readUnclosedEncodedWords(benchmark::State& state) {
    const std::string header = unclosedEncodedWords(state.range(0));
    for (auto _ : state) {
        benchmark::DoNotOptimize(readMessageHeaders(header));
    }
    bytesPerIteration(state, header.size());
}

// Address groups nested as deep as the size allows: "g:g:g:…a@b.c;;;…".
std::string nestedGroups(std::int64_t size) {
    const std::int64_t depth = size / 3;
    return repeated("g:", 2 * depth) + "a@b.c" + std::string(static_cast<std::size_t>(depth), ';');
}

void readNestedGroups(benchmark::State& state) {
    const std::string header = headerWith("From: " + nestedGroups(state.range(0)) + "\nTo: ada@example.com\n");
    for (auto _ : state) {
        benchmark::DoNotOptimize(readMessageHeaders(header));
    }
    bytesPerIteration(state, header.size());
}

// The same addresses as the recipients of a new draft, up to the longest list
// a draft may have.
void checkNestedGroupRecipients(benchmark::State& state) {
    const std::string recipients = nestedGroups(state.range(0));
    for (auto _ : state) {
        benchmark::DoNotOptimize(addressListProblem(recipients));
    }
    bytesPerIteration(state, recipients.size());
}

// Bare words between commas, which GMime read each to the end of the list.
void readBareWordList(benchmark::State& state) {
    const std::string header = headerWith("To: " + repeated("g,", state.range(0)) + "\n");
    for (auto _ : state) {
        benchmark::DoNotOptimize(readMessageHeaders(header));
    }
    bytesPerIteration(state, header.size());
}

}  // namespace

BENCHMARK(htmlOfAmpersands)->RangeMultiplier(4)->Range(256 * kKiB, 16 * kMiB)->Complexity(benchmark::oN);
BENCHMARK(htmlOfLineFeedsAndBreaks)->RangeMultiplier(4)->Range(256 * kKiB, 16 * kMiB)->Complexity(benchmark::oN);
BENCHMARK(relabelUnclosedEncodedWords)->RangeMultiplier(4)->Range(64 * kKiB, 16 * kMiB)->Complexity(benchmark::oN);
BENCHMARK(readUnclosedEncodedWords)->RangeMultiplier(4)->Range(64 * kKiB, 16 * kMiB)->Complexity(benchmark::oN);
BENCHMARK(readNestedGroups)->RangeMultiplier(4)->Range(64 * kKiB, 16 * kMiB)->Complexity(benchmark::oN);
BENCHMARK(readBareWordList)->RangeMultiplier(4)->Range(16 * kKiB, 16 * kMiB)->Complexity(benchmark::oN);
BENCHMARK(checkNestedGroupRecipients)->RangeMultiplier(4)->Range(4 * kKiB, 60 * kKiB)->Complexity(benchmark::oN);

BENCHMARK_MAIN();
