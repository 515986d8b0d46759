#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "dev_agent/maildir/folder_tree.h"
#include "dev_agent/maildir/message_file.h"
#include "dev_agent/mime/message_reader.h"

// How fast the development agent reads messages: only the header block, as a
// message list or an index needs, against the whole message, as `read` needs.
// Runs over every message of the sample mailbox.

namespace {

namespace fs = std::filesystem;
using namespace quillbrook::dev_agent;

std::vector<MaildirEntry> sampleEntries() {
    std::vector<MaildirEntry> entries;
    for (const auto& account : fs::directory_iterator(QUILLBROOK_SAMPLE_MAIL)) {
        for (const auto& folder : discoverMaildirFolders({account.path().string()})) {
            for (const char* dir : {"/cur/", "/new/"}) {
                for (std::string_view name : messageFileNames(folder.path + dir)) {
                    MaildirEntry entry = *parseMaildirFileName(name);
                    entry.path = folder.path + dir + std::string(name);
                    entries.push_back(std::move(entry));
                }
            }
        }
    }
    return entries;
}

std::vector<std::string> sampleMessages() {
    std::vector<std::string> messages;
    for (const auto& entry : sampleEntries()) {
        std::ifstream in(entry.path, std::ios::binary);
        std::ostringstream content;
        content << in.rdbuf();
        messages.push_back(content.str());
    }
    return messages;
}

template <ParsedMessage (*Read)(std::string_view)>
void readFromMemory(benchmark::State& state) {
    const std::vector<std::string> messages = sampleMessages();
    for (auto _ : state) {
        for (const auto& message : messages) {
            benchmark::DoNotOptimize(Read(message));
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(messages.size()));
}

template <ParsedMessage (*Read)(const MaildirEntry&)>
void readFromFiles(benchmark::State& state) {
    const std::vector<MaildirEntry> entries = sampleEntries();
    for (auto _ : state) {
        for (const auto& entry : entries) {
            benchmark::DoNotOptimize(Read(entry));
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(entries.size()));
}

}  // namespace

BENCHMARK(readFromMemory<readMessageHeaders>)->Name("headers_from_memory");
BENCHMARK(readFromMemory<readHeaderSummary>)->Name("index_summary_from_memory");
BENCHMARK(readFromMemory<readMessage>)->Name("whole_message_from_memory");
BENCHMARK(readFromFiles<readMessageFileSummary>)->Name("headers_from_files");
BENCHMARK(readFromFiles<readMessageFile>)->Name("whole_message_from_files");

BENCHMARK_MAIN();
