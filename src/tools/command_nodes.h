#pragma once

#include <string>
#include <vector>

#include "commands/command_definition.h"

namespace quillbrook::docs {

// A command of the tree with the words that select it: "" for the root,
// "draft reply" below it.
struct CommandNode {
    std::string path;
    const CommandDefinition* definition;
};

// Every command, the root first, each group before its children.
std::vector<CommandNode> commandNodes(const CommandDefinition& root);

// A word starting with "-" that a command accepts, as its help lists it.
struct OptionEntry {
    std::string name;  // "--folder"
    std::string help;
    bool takesValue;
};

// -h/--help everywhere, --version at the root, then the command's options and flags.
std::vector<OptionEntry> optionsOf(const CommandNode& node);

// The command's positionals as usage lines show them: " <message-id>".
std::string positionalPlaceholders(const CommandDefinition& command);

// The names of a command's children, separated by spaces.
std::string childNames(const CommandDefinition& command);

}  // namespace quillbrook::docs
