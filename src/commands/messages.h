#pragma once

#include "commands/command_definition.h"

namespace quillbrook {

// `fetch`: list the messages of a folder.
CommandDefinition fetchCommand();
// `read`: show one message by its UID.
CommandDefinition readCommand();

}  // namespace quillbrook
