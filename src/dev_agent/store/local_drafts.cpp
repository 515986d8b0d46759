#include "dev_agent/store/local_drafts.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <exception>
#include <filesystem>
#include <random>

#include "dev_agent/base/log.h"
#include "dev_agent/base/text.h"
#include "util/files.h"

namespace quillbrook::dev_agent {

namespace {

constexpr std::string_view kSuffix = ".json";

bool isHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

std::string stringMember(const json::Value& draft, const char* key) {
    const json::Value* found = draft.find(key);
    return found != nullptr && found->isString() ? found->string() : std::string();
}

// A random (version 4) UUID in lower-case hex.
std::string randomUuid() {
    std::random_device device;
    std::uniform_int_distribution<int> nibble(0, 15);
    static constexpr char kHex[] = "0123456789abcdef";
    std::string uuid;
    for (int i = 0; i < 32; ++i) {
        if (i == 8 || i == 12 || i == 16 || i == 20) {
            uuid.push_back('-');
        }
        int value = nibble(device);
        if (i == 12) {
            value = 4;  // version 4: random
        } else if (i == 16) {
            value = 8 | (value & 3);  // the RFC 4122 variant
        }
        uuid.push_back(kHex[value]);
    }
    return uuid;
}

// The 36-character hex form with four hyphens, in either case.
bool isUuid(std::string_view text) {
    if (text.size() != 36) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        bool hyphenPlace = i == 8 || i == 13 || i == 18 || i == 23;
        if (hyphenPlace ? text[i] != '-' : !isHex(text[i])) {
            return false;
        }
    }
    return true;
}

// `millis` since the epoch in ISO 8601 UTC with milliseconds ("2025-03-04T09:12:00.042Z").
std::string utcTimestamp(std::int64_t millis) {
    std::time_t seconds = static_cast<std::time_t>(millis / 1000);
    std::tm utc{};
    ::gmtime_r(&seconds, &utc);
    char text[40];
    std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
    std::snprintf(text + length, sizeof text - length, ".%03dZ", static_cast<int>(millis % 1000));
    return text;
}

}  // namespace

LocalDraftStore::LocalDraftStore(std::string directory) : directory_(std::move(directory)) {
    makePrivateDirectory(directory_, "drafts directory");
}

json::Value LocalDraftStore::create(json::Value draft) {
    std::string id = randomUuid();
    draft["id"] = id;
    draft["createdAt"] = utcTimestamp(nextCreationMillis());
    auto text = json::writeCompactSorted(draft);
    if (!text) {
        throw std::runtime_error("the draft holds text that is not UTF-8");
    }
    writeFileAtomically(directory_ + "/" + id + std::string(kSuffix), *text + "\n");
    return draft;
}

// Drafts list newest first, so two drafts made within one millisecond must not
// share a creation time: each takes a later millisecond than the one before.
std::int64_t LocalDraftStore::nextCreationMillis() {
    std::int64_t now =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
            .count();
    std::int64_t previous = lastCreationMillis_.load();
    std::int64_t next = 0;
    do {
        next = std::max(now, previous + 1);
    } while (!lastCreationMillis_.compare_exchange_weak(previous, next));
    return next;
}

std::optional<json::Value> LocalDraftStore::load(const std::string& path) const {
    try {
        auto document = json::parseStrict(readWholeFile(path));
        if (document && document->root().isObject()) {
            return document->root().toValue();
        }
        logLine("skipping draft " + path + ": not a JSON object");
    } catch (const std::exception& error) {
        logLine("skipping draft " + path + ": " + error.what());
    }
    return std::nullopt;
}

std::vector<json::Value> LocalDraftStore::list() const {
    std::vector<json::Value> drafts;
    std::error_code error;
    for (const auto& file : std::filesystem::directory_iterator(directory_, error)) {
        std::string name = file.path().filename().string();
        if (name.size() != 36 + kSuffix.size() || !name.ends_with(kSuffix) || !isUuid(name.substr(0, 36))) {
            continue;
        }
        if (auto draft = load(file.path().string())) {
            drafts.push_back(std::move(*draft));
        }
    }
    std::sort(drafts.begin(), drafts.end(), [](const json::Value& a, const json::Value& b) {
        std::string aTime = stringMember(a, "createdAt");
        std::string bTime = stringMember(b, "createdAt");
        return aTime != bTime ? aTime > bTime : stringMember(a, "id") < stringMember(b, "id");
    });
    return drafts;
}

std::optional<json::Value> LocalDraftStore::read(std::string_view id) const {
    if (!isUuid(id)) {
        return std::nullopt;
    }
    std::string path = directory_ + "/" + asciiLower(id) + std::string(kSuffix);
    if (!std::filesystem::exists(path)) {
        return std::nullopt;
    }
    return load(path);
}

}  // namespace quillbrook::dev_agent
