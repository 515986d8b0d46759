#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "json/json.h"
#include "util/unique_fd.h"

namespace quillbrook {

using Environment = std::map<std::string, std::string>;

// One call of send() is one whole exchange with the agent: connect, write one
// request line, read one response line, close. Nothing is kept between calls.
class AgentSocketClient {
public:
    explicit AgentSocketClient(std::optional<std::string> explicitPath = std::nullopt);

    // Returns the agent's result object; throws CLISocketError.
    json::Document send(const std::string& action, json::Value params) const;

    // The socket paths to try, first to last: QUILLBROOK_SOCKET alone when it is set
    // and not empty, otherwise the two default locations under the home directory.
    static std::vector<std::string> candidatePaths(const Environment& env);

    // The variables of this process that candidatePaths reads.
    static Environment processEnvironment();

private:
    std::string transact(const json::Value& request) const;
    UniqueFd connectToWorkingSocket() const;

    std::optional<std::string> explicitPath_;
};

// The agent's answer must fit in one line of at most this many bytes.
inline constexpr std::size_t kMaxResponseBytes = 1024 * 1024;

}  // namespace quillbrook
