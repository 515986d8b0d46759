#pragma once

#include <string>
#include <string_view>

namespace quillbrook {

// Where the agent socket lives under a home directory: the client looks there
// first, and the development agent listens there by default.
inline constexpr std::string_view kAgentSocketInHome = ".quillbrook/agent.sock";

// Where the application keeps the socket when it runs in its container: the
// client looks there second.
inline constexpr std::string_view kContainedAgentSocketInHome =
    "Library/Containers/com.quillbrook.Quillbrook/Data/.quillbrook/agent.sock";

// `homeVariable` (the value of HOME) when it is not empty, otherwise the user
// database's home directory of the current user; empty when neither is known.
std::string homeDirectory(std::string_view homeVariable);

// `relative` under `directory`, with exactly one slash between them.
std::string joinPath(std::string_view directory, std::string_view relative);

// The agent socket's default path under `home`.
std::string defaultAgentSocketPath(std::string_view home);

}  // namespace quillbrook
