#include "tools/command_nodes.h"

namespace quillbrook::docs {

namespace {

void collect(std::vector<CommandNode>& nodes, const std::string& path, const CommandDefinition& command) {
    nodes.push_back({path, &command});
    for (const CommandDefinition& child : command.children) {
        collect(nodes, path.empty() ? child.name : path + " " + child.name, child);
    }
}

}  // namespace

std::vector<CommandNode> commandNodes(const CommandDefinition& root) {
    std::vector<CommandNode> nodes;
    collect(nodes, "", root);
    return nodes;
}

std::vector<OptionEntry> optionsOf(const CommandNode& node) {
    // The first two are CLI11's own, worded as it prints them.
    std::vector<OptionEntry> options = {{"-h", "Print this help message and exit", false},
                                        {"--help", "Print this help message and exit", false}};
    if (node.path.empty()) {
        options.push_back({"--version", "Display program version information and exit", false});
    }
    for (const ArgumentDefinition& argument : node.definition->arguments) {
        if (argument.kind != ArgumentKind::positional) {
            options.push_back({"--" + argument.name, helpText(argument), argument.kind == ArgumentKind::option});
        }
    }
    return options;
}

std::string positionalPlaceholders(const CommandDefinition& command) {
    std::string placeholders;
    for (const ArgumentDefinition& argument : command.arguments) {
        if (argument.kind == ArgumentKind::positional) {
            placeholders += ' ';
            placeholders += placeholder(argument.name);
        }
    }
    return placeholders;
}

std::string childNames(const CommandDefinition& command) {
    std::string names;
    for (const CommandDefinition& child : command.children) {
        names += (names.empty() ? "" : " ") + child.name;
    }
    return names;
}

}  // namespace quillbrook::docs
