#pragma once

#include "commands/command_spec.h"

namespace quillbrook {

// `accounts list` and `accounts current`.
CommandSpec accountsCommand();

}  // namespace quillbrook
