#pragma once

#include <string>

#include "commands/command_definition.h"

namespace quillbrook::docs {

// Completion scripts for quillbrook-cli, each the whole file's text. They know
// every command, subcommand and option of the tree, and skip an option's value
// when they work out which command the words before the cursor select.
std::string bashCompletion(const CommandDefinition& root);
std::string zshCompletion(const CommandDefinition& root);
std::string fishCompletion(const CommandDefinition& root);

}  // namespace quillbrook::docs
