#pragma once

#include "commands/command_definition.h"

namespace quillbrook {

// `drafts list`, `drafts status` and `drafts delete`, which only refuses.
CommandDefinition draftsCommand();

}  // namespace quillbrook
