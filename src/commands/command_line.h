#pragma once

#include "commands/command_definition.h"

namespace quillbrook {

// Parses argv against the command tree and runs the one command it selects.
// Help and --version print on standard output (status 0), usage errors on
// standard error (status 64); the returned value is the process exit status.
int runCommandLine(const CommandDefinition& root, const char* version, int argc, char** argv);

}  // namespace quillbrook
