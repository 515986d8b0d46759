#include "tools/command_nodes.h"
#include "tools/completions.h"

namespace quillbrook::docs {

namespace {

std::string quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'' || c == '\\') {
            out += '\\';
        }
        out += c;
    }
    return out + "'";
}

// `complete` lines offering a command's children and options.
std::string nodeLines(const std::string& program, const CommandNode& node) {
    std::string condition = " -n " + quoted("__quillbrook_cli_at " + quoted(node.path));
    std::string lines;
    for (const CommandDefinition& child : node.definition->children) {
        lines +=
            "complete -c " + program + condition + " -a " + quoted(child.name) + " -d " + quoted(child.abstract) + "\n";
    }
    for (const OptionEntry& option : optionsOf(node)) {
        bool isShort = !option.name.starts_with("--");
        if (isShort) {
            continue;  // -h comes with --help below
        }
        lines += "complete -c " + program + condition + (option.name == "--help" ? " -s h" : "") + " -l " +
                 option.name.substr(2) + (option.takesValue ? " -x" : "") + " -d " + quoted(option.help) + "\n";
    }
    return lines;
}

// The walk's switch cases: which words select a child, which options skip a value.
std::string walkCases(const std::vector<CommandNode>& nodes) {
    std::string children;
    std::string valued;
    for (const CommandNode& node : nodes) {
        for (const CommandDefinition& child : node.definition->children) {
            children += ' ';
            children += quoted(node.path + ":" + child.name);
        }
        for (const OptionEntry& option : optionsOf(node)) {
            if (option.takesValue) {
                valued += ' ';
                valued += quoted(node.path + ":" + option.name);
            }
        }
    }
    return "            case" + valued + "\n                set skip 1\n            case" + children +
           "\n                set node (string trim -- \"$node $word\")\n";
}

}  // namespace

std::string fishCompletion(const CommandDefinition& root) {
    std::vector<CommandNode> nodes = commandNodes(root);
    std::string lines;
    for (const CommandNode& node : nodes) {
        lines += nodeLines(root.name, node);
    }
    return "# fish completion for " + root.name +
           ", generated from its command tree; do not edit.\n"
           "\n"
           "# The command the words before the cursor select; an option that takes a value skips it.\n"
           "function __quillbrook_cli_node\n"
           "    set -l node ''\n"
           "    set -l skip 0\n"
           "    for word in (commandline -opc)[2..-1]\n"
           "        if test $skip -eq 1\n"
           "            set skip 0\n"
           "            continue\n"
           "        end\n"
           "        switch \"$node:$word\"\n" +
           walkCases(nodes) +
           "        end\n"
           "    end\n"
           "    echo $node\n"
           "end\n"
           "\n"
           "function __quillbrook_cli_at\n"
           "    set -l node (__quillbrook_cli_node)\n"
           "    test \"$node\" = \"$argv[1]\"\n"
           "end\n"
           "\n"
           "complete -c " +
           root.name + " -f\n" + lines;
}

}  // namespace quillbrook::docs
