#include "commands/command_definition.h"

#include <charconv>

namespace quillbrook {

std::optional<std::int64_t> parseInteger(std::string_view text) {
    if (text.starts_with('+')) {
        text.remove_prefix(1);
        if (text.starts_with('-')) {
            return std::nullopt;
        }
    }
    std::int64_t number = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return number;
}

std::string helpText(const ArgumentDefinition& argument) {
    if (!argument.defaultValue) {
        return argument.help;
    }
    return argument.help + " (default: " + *argument.defaultValue + ")";
}

std::string placeholder(std::string_view name) {
    std::string text;
    text.reserve(name.size() + 2);
    text.push_back('<');
    text.append(name);
    text.push_back('>');
    return text;
}

std::optional<std::string> Arguments::optional(const std::string& name) const {
    auto found = values_.find(name);
    if (found == values_.end()) {
        return std::nullopt;
    }
    return found->second;
}

const std::string& Arguments::value(const std::string& name) const { return values_.at(name); }

std::int64_t Arguments::integer(const std::string& name) const { return parseInteger(value(name)).value_or(0); }

}  // namespace quillbrook
