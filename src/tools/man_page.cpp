#include "tools/man_page.h"

#include <string_view>
#include <utility>
#include <vector>

#include "tools/command_nodes.h"
#include "util/agent_paths.h"
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

// The page around its generated parts; manPage fills in each @NAME@.
constexpr std::string_view kPageTemplate = R"(.\" Generated from the command tree; do not edit.
.TH "QUILLBROOK\-CLI" 1 "" "@TITLE@" "User Commands"
.SH NAME
@PROGRAM@ \- @SUMMARY@
.SH SYNOPSIS
@SYNOPSIS@
.SH DESCRIPTION
@PROGRAM@ talks to the Quillbrook mail application (the agent) over its Unix-domain socket, agent.sock, which the agent serves while its "Local Agent Access" setting is on.
Each command sends one JSON request line on a fresh connection and prints the agent's answer as pretty JSON with sorted keys on standard output; a failure is one line on standard error and an exit status.
.PP
.B mcp
serves the Model Context Protocol on standard input and output instead, one JSON\-RPC message per line, so that an AI assistant can read mail and prepare drafts.
.PP
It never sends, moves or deletes mail.
Values are passed to the agent exactly as given.
A group given alone, such as
.BR "@PROGRAM@ accounts" ,
prints its help.
.SH OPTIONS
@OPTIONS@Both work on every command, as in
.BR "@PROGRAM@ fetch \-\-help" .
.SH COMMANDS
@COMMANDS@.SH "EXIT STATUS"
@STATUSES@.SH ENVIRONMENT
.TP
.B QUILLBROOK_SOCKET
When set and not empty, the only socket path tried.
.TP
.B QUILLBROOK_MCP_DEBUG
When present (even empty),
.B mcp
logs every message it receives and answers on standard error.
.TP
.B HOME
The home directory that holds the default socket paths.
.SH FILES
.TP
.I @SOCKET@
The agent socket, tried first when QUILLBROOK_SOCKET is not set.
.TP
.I @CONTAINED_SOCKET@
Tried next.
.SH EXAMPLES
.nf
@PROGRAM@ accounts list
@PROGRAM@ fetch \-\-folder Archive \-\-limit 10
@PROGRAM@ read 42
@PROGRAM@ draft create \-\-to bo@example.org \-\-subject Hi \-\-body 'See you at 3.'
@PROGRAM@ draft reply 42 \-\-body 'Thanks, agreed.'
QUILLBROOK_SOCKET=/tmp/agent.sock @PROGRAM@ drafts list
.fi
.SH "SEE ALSO"
.BR quillbrook\-dev\-agent (1)
)";

// `text` with every @NAME@ of `values` replaced; other @ signs stay.
std::string filledIn(std::string_view text, const std::vector<std::pair<std::string_view, std::string>>& values) {
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        bool replaced = false;
        for (const auto& [name, value] : values) {
            std::string_view rest = text.substr(i);
            if (rest.size() >= name.size() + 2 && rest.front() == '@' && rest.substr(1, name.size()) == name &&
                rest[name.size() + 1] == '@') {
                out += value;
                i += name.size() + 2;
                replaced = true;
                break;
            }
        }
        if (!replaced) {
            out += text[i++];
        }
    }
    return out;
}

}  // namespace

std::string manPage(const CommandDefinition& root, const std::string& version) {
    const std::string& program = root.name;
    std::string commands;
    for (const CommandNode& node : commandNodes(root)) {
        if (!node.path.empty()) {
            commands += commandSection(program, node);
        }
    }
    std::string statuses;
    for (const StatusRow& row : kStatuses) {
        statuses += ".TP\n.B " + std::to_string(static_cast<int>(row.status)) + "\n" + roff(row.meaning) + "\n";
    }
    return filledIn(kPageTemplate, {
                                       {"TITLE", roff(program + " " + version)},
                                       {"PROGRAM", roff(program)},
                                       {"SUMMARY", roff(summary(root.abstract))},
                                       {"SYNOPSIS", roff(usageLine(program, CommandNode{"", &root}))},
                                       {"OPTIONS", rootOptions(root)},
                                       {"COMMANDS", commands},
                                       {"STATUSES", statuses},
                                       {"SOCKET", roff("~/" + std::string(kAgentSocketInHome))},
                                       {"CONTAINED_SOCKET", roff("~/" + std::string(kContainedAgentSocketInHome))},
                                   });
}

}  // namespace quillbrook::docs
