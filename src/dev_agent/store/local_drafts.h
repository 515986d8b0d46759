#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "json/json.h"

namespace quillbrook::dev_agent {

// The agent's own drafts: one JSON file "<id>.json" per draft in one directory,
// written atomically so that a crash leaves a whole draft or none. Drafts are
// never changed or deleted once written.
class LocalDraftStore {
public:
    // Creates the directory (mode 0700) when it is missing.
    explicit LocalDraftStore(std::string directory);

    // Stores `draft` under a new random UUID, with "id" and "createdAt" added, and
    // returns what was stored. Throws std::system_error when it cannot be written.
    json::Value create(json::Value draft);

    // Every readable draft, newest first; a file that is not a draft is skipped
    // with a log line.
    std::vector<json::Value> list() const;

    // The draft with this id; nothing for an unknown id or one that is not a UUID
    // (so an id can never name a file outside the directory).
    std::optional<json::Value> read(std::string_view id) const;

private:
    std::optional<json::Value> load(const std::string& path) const;
    std::int64_t nextCreationMillis();

    std::string directory_;
    std::atomic<std::int64_t> lastCreationMillis_{0};
};

}  // namespace quillbrook::dev_agent
