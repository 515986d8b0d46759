#pragma once

#include "commands/command_spec.h"

namespace quillbrook {

// `draft create` and `draft reply`: drafts for a person to review, never sent.
CommandSpec draftCommand();

}  // namespace quillbrook
