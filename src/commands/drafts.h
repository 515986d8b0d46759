#pragma once

#include "commands/command_spec.h"

namespace quillbrook {

// `drafts list`, `drafts status` and `drafts delete`, which only refuses.
CommandSpec draftsCommand();

}  // namespace quillbrook
