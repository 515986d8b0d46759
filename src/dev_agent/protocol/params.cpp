#include "dev_agent/protocol/params.h"

#include <charconv>
#include <cmath>

#include "dev_agent/base/text.h"
#include "dev_agent/protocol/agent_error.h"

namespace quillbrook::dev_agent {

namespace {

std::string typeName(const json::Value& value) {
    if (value.is_number_integer() || json::bigIntegerDigits(value)) {
        return "an integer";
    }
    if (value.is_number()) {
        return "a fractional number";
    }
    switch (value.type()) {
    case json::Value::value_t::string:
        return "a string";
    case json::Value::value_t::boolean:
        return "a boolean";
    case json::Value::value_t::array:
        return "an array";
    case json::Value::value_t::object:
        return "an object";
    default:
        return "null";
    }
}

[[noreturn]] void wrongType(const char* name, const char* wanted, const json::Value& got) {
    throw AgentError::badRequest(std::string("\"") + name + "\" must be " + wanted + ", not " + typeName(got));
}

}  // namespace

std::optional<std::uint64_t> parseUid(std::string_view text) {
    std::uint64_t uid = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), uid);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || uid == 0) {
        return std::nullopt;
    }
    return uid;
}

const json::Value* Params::find(const char* name) const {
    auto found = request_.find(name);
    return found == request_.end() || found->is_null() ? nullptr : &*found;
}

std::string Params::requiredString(const char* name) const {
    auto value = optionalString(name);
    if (!value) {
        throw AgentError::badRequest(std::string("missing parameter \"") + name + "\"");
    }
    return *value;
}

std::optional<std::string> Params::optionalString(const char* name) const {
    const json::Value* value = find(name);
    if (value == nullptr) {
        return std::nullopt;
    }
    if (!value->is_string()) {
        wrongType(name, "a string", *value);
    }
    return value->get<std::string>();
}

std::optional<std::int64_t> Params::optionalInteger(const char* name) const {
    const json::Value* value = find(name);
    if (value == nullptr) {
        return std::nullopt;
    }
    // Integers beyond the signed range only matter as "very large".
    if (auto digits = json::bigIntegerDigits(*value)) {
        return digits->front() == '-' ? INT64_MIN : INT64_MAX;
    }
    if (value->is_number_unsigned()) {
        return value->get<std::uint64_t>() > INT64_MAX ? INT64_MAX : value->get<std::int64_t>();
    }
    if (value->is_number_integer()) {
        return value->get<std::int64_t>();
    }
    // Some clients write every number as a double; 20.0 still means 20.
    if (value->is_number_float()) {
        double number = value->get<double>();
        if (std::trunc(number) == number && std::fabs(number) < 9.0e18) {
            return static_cast<std::int64_t>(number);
        }
    }
    wrongType(name, "an integer", *value);
}

std::optional<std::vector<std::string>> Params::optionalStringArray(const char* name) const {
    const json::Value* value = find(name);
    if (value == nullptr) {
        return std::nullopt;
    }
    if (!value->is_array()) {
        wrongType(name, "an array of strings", *value);
    }
    std::vector<std::string> strings;
    for (const auto& element : *value) {
        if (!element.is_string()) {
            wrongType(name, "an array of strings", element);
        }
        strings.push_back(element.get<std::string>());
    }
    return strings;
}

std::optional<std::uint64_t> Params::optionalUid(const char* name) const {
    const json::Value* value = find(name);
    if (value == nullptr) {
        return std::nullopt;
    }
    std::string problem;
    if (value->is_string()) {
        if (auto uid = parseUid(value->get<std::string>())) {
            return uid;
        }
        problem = quotedText(value->get<std::string>());
    } else if (value->is_number_integer()) {
        if (value->is_number_unsigned() || value->get<std::int64_t>() > 0) {
            return value->get<std::uint64_t>();
        }
        problem = std::to_string(value->get<std::int64_t>());
    } else if (auto digits = json::bigIntegerDigits(*value)) {
        problem = *digits;
    } else {
        wrongType(name, "a message UID (a string of digits)", *value);
    }
    throw AgentError::badRequest(std::string("\"") + name + "\" must be a message UID (a positive number), not " +
                                 problem);
}

std::uint64_t Params::requiredUid(const char* name) const {
    auto uid = optionalUid(name);
    if (!uid) {
        throw AgentError::badRequest(std::string("missing parameter \"") + name + "\"");
    }
    return *uid;
}

}  // namespace quillbrook::dev_agent
