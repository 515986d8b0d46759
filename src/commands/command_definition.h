#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace quillbrook {

// A signed 64-bit decimal integer with an optional sign, or nothing.
std::optional<std::int64_t> parseInteger(std::string_view text);

// What a command was given on the command line, by argument name.
class Arguments {
public:
    void set(const std::string& name, std::string value) { values_[name] = std::move(value); }
    void setFlag(const std::string& name) { flags_.insert(name); }

    std::optional<std::string> optional(const std::string& name) const;
    // A required argument or an option with a default: always present after parsing.
    const std::string& value(const std::string& name) const;
    std::int64_t integer(const std::string& name) const;
    bool flag(const std::string& name) const { return flags_.count(name) > 0; }

private:
    std::map<std::string, std::string> values_;
    std::set<std::string> flags_;
};

enum class ArgumentKind {
    positional,  // shown as <name>, always required
    option,      // --name <name>
    flag,        // --name, no value
};

struct ArgumentDefinition {
    std::string name;
    ArgumentKind kind;
    std::string help;  // without the default: helpText() adds it
    bool required = false;
    std::optional<std::string> defaultValue = std::nullopt;
    bool integer = false;  // the value must be a signed 64-bit decimal integer
};

// An argument's help as --help and the manual page show it: its text, then
// " (default: VALUE)" when it has a default value.
std::string helpText(const ArgumentDefinition& argument);

// How usage lines, the manual page and completions show a positional: <name>.
std::string placeholder(std::string_view name);

using RunCommand = void (*)(const Arguments&);

// One node of the command tree: a group has children, a leaf has a run function.
struct CommandDefinition {
    std::string name;
    std::string abstract;
    std::vector<ArgumentDefinition> arguments = {};
    RunCommand run = nullptr;
    std::vector<CommandDefinition> children = {};
};

}  // namespace quillbrook
