#pragma once

#include "commands/command_definition.h"

namespace quillbrook {

// `mcp`: serve the Model Context Protocol on standard input and output.
CommandDefinition mcpCommand();

}  // namespace quillbrook
