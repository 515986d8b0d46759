#include "tools/command_nodes.h"
#include "tools/completions.h"

namespace quillbrook::docs {

namespace {

// One case of the node function: the command's children, options and the
// options that take a value.
std::string nodeCase(const CommandNode& node) {
    std::string options;
    std::string valued;
    for (const OptionEntry& option : optionsOf(node)) {
        options += (options.empty() ? "" : " ") + option.name;
        if (option.takesValue) {
            valued += (valued.empty() ? "" : " ") + option.name;
        }
    }
    return "        '" + node.path + "') commands='" + childNames(*node.definition) + "' options='" + options +
           "' valued='" + valued + "' ;;\n";
}

}  // namespace

std::string bashCompletion(const CommandDefinition& root) {
    std::string cases;
    for (const CommandNode& node : commandNodes(root)) {
        cases += nodeCase(node);
    }
    return "# bash completion for " + root.name +
           ", generated from its command tree; do not edit.\n"
           "\n"
           "_quillbrook_cli_node()\n"
           "{\n"
           "    case $1 in\n" +
           cases +
           "        *) commands='' options='' valued='' ;;\n"
           "    esac\n"
           "}\n"
           "\n"
           "_quillbrook_cli()\n"
           "{\n"
           "    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}\n"
           "    local node='' word commands options valued i\n"
           "    # Walk the words before the cursor: a command name selects that command,\n"
           "    # an option that takes a value skips the value (bash splits --name=value\n"
           "    # into three words).\n"
           "    for ((i = 1; i < COMP_CWORD; i++)); do\n"
           "        word=${COMP_WORDS[i]}\n"
           "        _quillbrook_cli_node \"$node\"\n"
           "        if [[ \" $valued \" == *\" $word \"* ]]; then\n"
           "            if [[ ${COMP_WORDS[i+1]} == = ]]; then ((i += 2)); else ((i++)); fi\n"
           "        elif [[ \" $commands \" == *\" $word \"* ]]; then\n"
           "            node=${node:+$node }$word\n"
           "        fi\n"
           "    done\n"
           "    _quillbrook_cli_node \"$node\"\n"
           "    COMPREPLY=()\n"
           "    if [[ $prev == = || \" $valued \" == *\" $prev \"* ]]; then\n"
           "        return 0  # a value: nothing to offer\n"
           "    elif [[ $cur == -* ]]; then\n"
           "        COMPREPLY=($(compgen -W \"$options\" -- \"$cur\"))\n"
           "    else\n"
           "        COMPREPLY=($(compgen -W \"$commands\" -- \"$cur\"))\n"
           "    fi\n"
           "}\n"
           "\n"
           "complete -F _quillbrook_cli " +
           root.name + "\n";
}

}  // namespace quillbrook::docs
