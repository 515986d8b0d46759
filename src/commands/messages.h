#pragma once

#include "commands/command_spec.h"

namespace quillbrook {

// `fetch`: list the messages of a folder.
CommandSpec fetchCommand();
// `read`: show one message by its UID.
CommandSpec readCommand();

}  // namespace quillbrook
