#include "tools/command_nodes.h"
#include "tools/completions.h"

namespace quillbrook::docs {

namespace {

// A word inside single quotes, as zsh reads it back.
std::string quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

// " 'name:description'", one element of a _describe array.
std::string described(const std::string& name, const std::string& description) {
    std::string element = " ";
    return element + quoted(name + ":" + description);
}

std::string nodeCase(const CommandNode& node) {
    std::string names;
    std::string commands;
    for (const CommandDefinition& child : node.definition->children) {
        names += ' ';
        names += quoted(child.name);
        commands += described(child.name, child.abstract);
    }
    std::string options;
    std::string valued;
    for (const OptionEntry& option : optionsOf(node)) {
        options += described(option.name, option.help);
        if (option.takesValue) {
            valued += ' ';
            valued += quoted(option.name);
        }
    }
    return "    " + quoted(node.path) + ")\n      names=(" + names + " ) commands=(" + commands +
           " )\n      options=(" + options + " ) valued=(" + valued +
           " ) positionals=" + quoted(positionalPlaceholders(*node.definition)) + " ;;\n";
}

}  // namespace

std::string zshCompletion(const CommandDefinition& root) {
    std::string cases;
    for (const CommandNode& node : commandNodes(root)) {
        cases += nodeCase(node);
    }
    return "#compdef " + root.name +
           "\n"
           "# zsh completion for " +
           root.name +
           ", generated from its command tree; do not edit.\n"
           "\n"
           "_quillbrook_cli_node() {\n"
           "  case $1 in\n" +
           cases +
           "    *) names=() commands=() options=() valued=() positionals='' ;;\n"
           "  esac\n"
           "}\n"
           "\n"
           "_quillbrook_cli() {\n"
           "  local node='' word positionals\n"
           "  local -a names commands options valued\n"
           "  integer i\n"
           "  # A command name selects that command; an option that takes a value skips it.\n"
           "  for (( i = 2; i < CURRENT; i++ )); do\n"
           "    word=${words[i]}\n"
           "    _quillbrook_cli_node \"$node\"\n"
           "    if (( ${valued[(Ie)$word]} )); then\n"
           "      (( i++ ))\n"
           "    elif (( ${names[(Ie)$word]} )); then\n"
           "      node=${node:+$node }$word\n"
           "    fi\n"
           "  done\n"
           "  _quillbrook_cli_node \"$node\"\n"
           "  if (( ${valued[(Ie)${words[CURRENT-1]}]} )); then\n"
           "    _message -e values \"${words[CURRENT-1]#--}\"\n"
           "  elif [[ ${words[CURRENT]} == -* ]]; then\n"
           "    _describe -t options option options\n"
           "  elif (( ${#commands} )); then\n"
           "    _describe -t commands command commands\n"
           "  elif [[ -n $positionals ]]; then\n"
           "    _message -e arguments \"${positionals# }\"\n"
           "  fi\n"
           "}\n"
           "\n"
           "_quillbrook_cli \"$@\"\n";
}

}  // namespace quillbrook::docs
