#include "tools/man_page.h"

#include "tools/command_nodes.h"
#include "util/exit_status.h"

namespace quillbrook::docs {

namespace {

// Text for a roff line: backslashes and hyphens escaped, the em dash by name,
// and a leading dot or quote kept from reading as a request.
std::string roff(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 3, "\u2014") == 0) {
            out += "\\(em";
            i += 2;
        } else if (text[i] == '\\') {
            out += "\\e";
        } else if (text[i] == '-') {
            out += "\\-";
        } else {
            out += text[i];
        }
    }
    if (!out.empty() && (out.front() == '.' || out.front() == '\'')) {
        out.insert(0, "\\&");
    }
    return out;
}

// The part of the root's abstract after its dash: "thin client over ...".
std::string summary(const std::string& abstract) {
    const std::string dash = "\u2014 ";
    std::size_t found = abstract.find(dash);
    return found == std::string::npos ? abstract : abstract.substr(found + dash.size());
}

std::string quotedArgument(const std::string& text) {
    std::string quoted = "\"";
    quoted += roff(text);
    return quoted + "\"";
}

struct StatusRow {
    ExitStatus status;
    const char* meaning;
};

const StatusRow kStatuses[] = {
    {ExitStatus::success, "Success; also help and --version."},
    {ExitStatus::failure,
     "The agent answered with an error (printed as code: message), the answer was unreadable or too large, "
     "\"No accounts configured\", the refusal of drafts delete, or an unexpected error."},
    {ExitStatus::agentUnreachable, "No agent socket accepted a connection."},
    {ExitStatus::connectionLost, "The agent closed the connection before the answer was complete."},
    {ExitStatus::usage, "The command line could not be parsed; nothing was sent to the agent."},
};

// The usage line of a command as its --help prints it, after "Usage: ".
std::string usageLine(const std::string& program, const CommandNode& node) {
    const CommandDefinition& command = *node.definition;
    return program + (node.path.empty() ? "" : " " + node.path) + " [OPTIONS]" + positionalPlaceholders(command) +
           (command.children.empty() ? "" : " [SUBCOMMAND]");
}

// -h/--help and --version, as the root's help words them.
std::string rootOptions(const CommandDefinition& root) {
    std::string out;
    for (const OptionEntry& option : optionsOf(CommandNode{"", &root})) {
        if (option.name == "-h") {
            continue;  // shown with --help
        }
        out += ".TP\n" + std::string(option.name == "--help" ? "\\fB\\-h\\fR, " : "") + "\\fB" + roff(option.name) +
               "\\fR\n" + roff(option.help) + "\n";
    }
    return out + ".PP\n";
}

// A command's section: its usage line as --help prints it, its abstract, its
// positionals and options.
std::string commandSection(const std::string& program, const CommandNode& node) {
    const CommandDefinition& command = *node.definition;
    std::string out = ".SS " + quotedArgument(usageLine(program, node)) + "\n" + roff(command.abstract) + "\n";
    for (const ArgumentDefinition& argument : command.arguments) {
        if (argument.kind == ArgumentKind::positional) {
            out += ".TP\n.I " + quotedArgument(placeholder(argument.name)) + "\n" + roff(helpText(argument)) + "\n";
        }
    }
    for (const OptionEntry& option : optionsOf(node)) {
        if (!option.name.starts_with("--") || option.name == "--help" || option.name == "--version") {
            continue;  // listed once under OPTIONS
        }
        std::string valueName = option.takesValue ? " \\fI<" + roff(option.name.substr(2)) + ">\\fR" : "";
        bool required = false;
        for (const ArgumentDefinition& argument : command.arguments) {
            required = required || ("--" + argument.name == option.name && argument.required);
        }
        out += ".TP\n\\fB" + roff(option.name) + "\\fR" + valueName + (required ? " (required)" : "") + "\n" +
               roff(option.help) + "\n";
    }
    return out;
}

}  // namespace

std::string manPage(const CommandDefinition& root, const std::string& version) {
    const std::string& program = root.name;
    std::string out = ".\\\" Generated from the command tree; do not edit.\n"
                      ".TH " +
                      quotedArgument("QUILLBROOK-CLI") + " 1 \"\" " + quotedArgument(program + " " + version) +
                      " \"User Commands\"\n"
                      ".SH NAME\n" +
                      roff(program) + " \\- " + roff(summary(root.abstract)) +
                      "\n"
                      ".SH SYNOPSIS\n" +
                      roff(usageLine(program, CommandNode{"", &root})) + "\n"
                      ".SH DESCRIPTION\n" +
                      roff(program) +
                      " talks to the Quillbrook mail application (the agent) over its Unix-domain socket, "
                      "agent.sock, which the agent serves while its \"Local Agent Access\" setting is on.\n"
                      "Each command sends one JSON request line on a fresh connection and prints the agent's "
                      "answer as pretty JSON with sorted keys on standard output; a failure is one line on "
                      "standard error and an exit status.\n"
                      ".PP\n"
                      ".B mcp\n"
                      "serves the Model Context Protocol on standard input and output instead, one JSON\\-RPC "
                      "message per line, so that an AI assistant can read mail and prepare drafts.\n"
                      ".PP\n"
                      "It never sends, moves or deletes mail.\n"
                      "Values are passed to the agent exactly as given.\n"
                      "A group given alone, such as\n.BR \"" +
                      roff(program) +
                      " accounts\" ,\nprints its help.\n"
                      ".SH OPTIONS\n" +
                      rootOptions(root) + "Both work on every command, as in\n.BR \"" + roff(program) +
                      " fetch \\-\\-help\" .\n"
                      ".SH COMMANDS\n";
    for (const CommandNode& node : commandNodes(root)) {
        if (!node.path.empty()) {
            out += commandSection(program, node);
        }
    }
    out += ".SH \"EXIT STATUS\"\n";
    for (const StatusRow& row : kStatuses) {
        out += ".TP\n.B " + std::to_string(static_cast<int>(row.status)) + "\n" + roff(row.meaning) + "\n";
    }
    out += ".SH ENVIRONMENT\n"
           ".TP\n.B QUILLBROOK_SOCKET\n"
           "When set and not empty, the only socket path tried.\n"
           ".TP\n.B QUILLBROOK_MCP_DEBUG\n"
           "When present (even empty),\n.B mcp\nlogs every message it receives and answers on standard error.\n"
           ".TP\n.B HOME\nThe home directory that holds the default socket paths.\n"
           ".SH FILES\n"
           ".TP\n.I ~/.quillbrook/agent.sock\n"
           "The agent socket, tried first when QUILLBROOK_SOCKET is not set.\n"
           ".TP\n.I ~/Library/Containers/com.quillbrook.Quillbrook/Data/.quillbrook/agent.sock\n"
           "Tried next.\n"
           ".SH EXAMPLES\n"
           ".nf\n" +
           roff(program) + " accounts list\n" + roff(program) + " fetch \\-\\-folder Archive \\-\\-limit 10\n" +
           roff(program) + " read 42\n" + roff(program) +
           " draft create \\-\\-to bo@example.org \\-\\-subject Hi \\-\\-body 'See you at 3.'\n" + roff(program) +
           " draft reply 42 \\-\\-body 'Thanks, agreed.'\n" +
           "QUILLBROOK_SOCKET=/tmp/agent.sock " + roff(program) + " drafts list\n" +
           ".fi\n"
           ".SH \"SEE ALSO\"\n"
           ".BR quillbrook\\-dev\\-agent (1)\n";
    return out;
}

}  // namespace quillbrook::docs
