#pragma once

#include "commands/command_definition.h"

namespace quillbrook {

// `draft create` and `draft reply`: drafts for a person to review, never sent.
CommandDefinition draftCommand();

}  // namespace quillbrook
