#include "commands/command_line.h"

#include <algorithm>
#include <deque>
#include <memory>
#include <span>
#include <string_view>

#include <unistd.h>

#include <CLI/CLI.hpp>

#include "transport/output.h"
#include "transport/socket_error.h"
#include "util/exit_status.h"

// CLI11 plays the command-line library's part. Its defaults differ from what
// users of this tool rely on in five ways, adapted here and nowhere else:
// --version is accepted below the root (fallthrough), its parse errors carry
// exit codes of 100 and up (mapped to 64), a group run alone prints its help,
// `--name=` with nothing after the sign is an empty value, not a missing one,
// and usage lines show positionals as <message-id>.

namespace quillbrook {

namespace {

struct Binding {
    const ArgumentDefinition* definition;
    CLI::Option* option;
    std::string value;
};

struct Node {
    const CommandDefinition* definition;
    CLI::App* app;
    std::deque<Binding> bindings;  // a deque: CLI11 keeps pointers to each value
};

// Usage lines show each positional as its placeholder, <message-id>, as the
// manual page and the completions do; the rest of the help is CLI11's own.
class PlaceholderUsageFormatter : public CLI::Formatter {
public:
    std::string make_option_usage(const CLI::Option* positional) const override {
        return placeholder(positional->get_name(true, false));
    }
};

void addArgument(Node& node, const ArgumentDefinition& argument) {
    Binding& binding = node.bindings.emplace_back(Binding{&argument, nullptr, argument.defaultValue.value_or("")});
    std::string help = helpText(argument);
    switch (argument.kind) {
    case ArgumentKind::positional:
        binding.option = node.app->add_option(argument.name, binding.value, help)->required();
        break;
    case ArgumentKind::option:
        binding.option =
            node.app->add_option("--" + argument.name, binding.value, help)->type_name("<" + argument.name + ">");
        if (argument.required) {
            binding.option->required();
        }
        if (argument.integer) {
            binding.option->check(CLI::Validator(
                [](std::string& text) { return parseInteger(text) ? std::string() : "not an integer: " + text; }, ""));
        }
        break;
    case ArgumentKind::flag:
        binding.option = node.app->add_flag("--" + argument.name)->description(help);
        break;
    }
}

// Start-up is most of a command's cost, so only the path the command line names
// is built: when the next word names a child, that child alone (with its
// arguments); otherwise every child by name and abstract, which is all that
// help and error messages show of them.
void build(std::deque<Node>& nodes, const CommandDefinition& definition, CLI::App* app, std::span<char*> words) {
    Node& node = nodes.emplace_back(Node{&definition, app, {}});
    for (const ArgumentDefinition& argument : definition.arguments) {
        addArgument(node, argument);
    }
    if (definition.children.empty()) {
        return;
    }
    app->require_subcommand(0, 1);
    auto named =
        std::find_if(definition.children.begin(), definition.children.end(),
                     [&](const CommandDefinition& child) { return !words.empty() && child.name == words.front(); });
    if (named != definition.children.end()) {
        build(nodes, *named, app->add_subcommand(named->name, named->abstract), words.subspan(1));
        return;
    }
    for (const CommandDefinition& child : definition.children) {
        nodes.emplace_back(Node{&child, app->add_subcommand(child.name, child.abstract), {}});
    }
}

// The arguments after the program name, last first as CLI11 takes them, with
// `--name=` split into `--name` and an empty value (CLI11 drops empty values
// given after the sign). Nothing after a lone `--` is touched.
std::vector<std::string> reversedWithEmptyValuesSplit(int argc, char** argv) {
    std::vector<std::string> arguments;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        std::string_view argument = argv[i];
        optionsEnded = optionsEnded || argument == "--";
        if (!optionsEnded && argument.starts_with("--") && argument.size() > 3 && argument.ends_with('=') &&
            argument.find('=') == argument.size() - 1) {
            arguments.emplace_back(argument.substr(0, argument.size() - 1));
            arguments.emplace_back();
        } else {
            arguments.emplace_back(argument);
        }
    }
    std::reverse(arguments.begin(), arguments.end());
    return arguments;
}

const CLI::App* selectedCommand(const CLI::App& root) {
    const CLI::App* current = &root;
    while (!current->get_subcommands().empty()) {
        current = current->get_subcommands().front();
    }
    return current;
}

std::string commandPath(const CLI::App* app) {
    std::string path = app->get_name();
    for (const CLI::App* parent = app->get_parent(); parent != nullptr; parent = parent->get_parent()) {
        path = parent->get_name() + " " + path;
    }
    return path;
}

Arguments collect(const Node& node) {
    Arguments arguments;
    for (const Binding& binding : node.bindings) {
        bool given = binding.option->count() > 0;
        if (binding.definition->kind == ArgumentKind::flag) {
            if (given) {
                arguments.setFlag(binding.definition->name);
            }
        } else if (given || binding.definition->defaultValue) {
            arguments.set(binding.definition->name, binding.value);
        }
    }
    return arguments;
}

// Prints help or the version. Output that cannot be written fails the run,
// reported like a result that cannot be.
int printOutput(const std::string& text) {
    try {
        writeStandardOutput(text);
    } catch (...) {
        return exitCode(reportCurrentFailure());
    }
    return exitCode(ExitStatus::success);
}

}  // namespace

int runCommandLine(const CommandDefinition& root, const char* version, int argc, char** argv) {
    CLI::App app(root.abstract, root.name);
    app.set_version_flag("--version", version);
    app.fallthrough();  // before the subcommands are added, which copy it and the formatter
    app.formatter(std::make_shared<PlaceholderUsageFormatter>());
    std::deque<Node> nodes;
    build(nodes, root, &app, std::span<char*>(argv + 1, static_cast<std::size_t>(argc > 0 ? argc - 1 : 0)));

    try {
        std::vector<std::string> arguments = reversedWithEmptyValuesSplit(argc, argv);
        app.parse(arguments);
    } catch (const CLI::CallForHelp&) {
        return printOutput(app.help());
    } catch (const CLI::CallForAllHelp&) {
        return printOutput(app.help("", CLI::AppFormatMode::All));
    } catch (const CLI::CallForVersion& request) {
        return printOutput(std::string(request.what()) + "\n");
    } catch (const CLI::ParseError& error) {
        const CLI::App* command = selectedCommand(app);
        std::string path = commandPath(command);
        writeAll(STDERR_FILENO, "Error: " + std::string(error.what()) + "\n" +
                                    PlaceholderUsageFormatter().make_usage(command, path) + "See '" + path +
                                    " --help' for more information.\n");
        return exitCode(ExitStatus::usage);
    }

    const CLI::App* command = selectedCommand(app);
    auto node = std::find_if(nodes.begin(), nodes.end(), [&](const Node& n) { return n.app == command; });
    if (node->definition->run == nullptr) {
        return printOutput(app.help());
    }
    try {
        node->definition->run(collect(*node));
    } catch (...) {
        return exitCode(reportCurrentFailure());
    }
    return exitCode(ExitStatus::success);
}

}  // namespace quillbrook
