#pragma once

#include <string>

#include "commands/command_definition.h"

namespace quillbrook::docs {

// The quillbrook-cli(1) manual page in roff: every command with its usage line,
// arguments and options worded as --help words them, then the exit statuses,
// environment, files and examples.
std::string manPage(const CommandDefinition& root, const std::string& version);

}  // namespace quillbrook::docs
