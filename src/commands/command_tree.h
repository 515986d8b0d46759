#pragma once

#include "commands/command_definition.h"

namespace quillbrook {

inline constexpr char kVersion[] = "2.0.0";

// The whole tree, in the order help lists it.
CommandDefinition commandTree();

}  // namespace quillbrook
