#pragma once

#include "commands/command_spec.h"

namespace quillbrook {

// `mcp`: serve the Model Context Protocol on standard input and output.
CommandSpec mcpCommand();

}  // namespace quillbrook
