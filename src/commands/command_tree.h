#pragma once

#include "commands/command_definition.h"

namespace quillbrook {

// The whole tree, in the order help lists it.
CommandDefinition commandTree();

}  // namespace quillbrook
