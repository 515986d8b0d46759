#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "dev_agent/agent_options.h"

namespace quillbrook::dev_agent {

// Where the agent looks for its configuration when --config names none:
// $XDG_CONFIG_HOME/quillbrook/dev-agent.toml, with ~/.config in its place when
// the variable is unset, empty or not an absolute path. Empty when no home is
// known either.
std::string defaultConfigFilePath();

// The settings in `text`, the TOML read from the file at `path`: the options
// the command line has (socket, drafts-dir, state-dir, request-timeout) and
// [[account]] tables (address, name, maildir, layout, drafts-folder, default),
// the default account first. A path must be absolute or start with "~/".
// Throws ConfigurationError "<path>:<line>: <what is wrong>".
AgentSettings parseConfigFile(std::string_view text, const std::string& path);

// parseConfigFile on the file at `path`; nothing when there is no such file
// and `mustExist` is false. Throws ConfigurationError, also when the file
// cannot be read.
std::optional<AgentSettings> readConfigFile(const std::string& path, bool mustExist);

}  // namespace quillbrook::dev_agent
