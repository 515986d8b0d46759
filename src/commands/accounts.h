#pragma once

#include "commands/command_definition.h"

namespace quillbrook {

// `accounts list` and `accounts current`.
CommandDefinition accountsCommand();

}  // namespace quillbrook
