#include "dev_agent/protocol/params.h"

#include <charconv>
#include <cmath>

#include "dev_agent/base/text.h"
#include "dev_agent/protocol/agent_error.h"

namespace quillbrook::dev_agent {

namespace {

const char* typeName(json::View value) {
    switch (value.kind()) {
    case json::Kind::int64:
    case json::Kind::uint64:
    case json::Kind::bigInteger:
        return "an integer";
    case json::Kind::real:
        return "a fractional number";
    case json::Kind::string:
        return "a string";
    case json::Kind::falseValue:
    case json::Kind::trueValue:
        return "a boolean";
    case json::Kind::array:
        return "an array";
    case json::Kind::object:
        return "an object";
    default:
        return "null";
    }
}

[[noreturn]] void wrongType(const char* name, const char* wanted, json::View got) {
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

std::optional<json::View> Params::find(const char* name) const {
    auto found = request_.find(name);
    if (!found || found->isNull()) {
        return std::nullopt;
    }
    return found;
}

std::string Params::requiredString(const char* name) const {
    auto value = optionalString(name);
    if (!value) {
        throw AgentError::badRequest(std::string("missing parameter \"") + name + "\"");
    }
    return *value;
}

std::optional<std::string> Params::optionalString(const char* name) const {
    std::optional<json::View> value = find(name);
    if (!value) {
        return std::nullopt;
    }
    if (!value->isString()) {
        wrongType(name, "a string", *value);
    }
    return std::string(*value->string());
}

std::optional<std::int64_t> Params::optionalInteger(const char* name) const {
    std::optional<json::View> value = find(name);
    if (!value) {
        return std::nullopt;
    }
    // Integers beyond the signed range only matter as "very large".
    if (auto digits = value->bigIntegerDigits()) {
        return digits->front() == '-' ? INT64_MIN : INT64_MAX;
    }
    if (value->kind() == json::Kind::uint64) {
        return value->uint64() > INT64_MAX ? INT64_MAX : static_cast<std::int64_t>(value->uint64());
    }
    if (value->kind() == json::Kind::int64) {
        return value->int64();
    }
    // Some clients write every number as a double; 20.0 still means 20.
    if (value->kind() == json::Kind::real) {
        double number = value->real();
        if (std::trunc(number) == number && std::fabs(number) < 9.0e18) {
            return static_cast<std::int64_t>(number);
        }
    }
    wrongType(name, "an integer", *value);
}

std::optional<std::vector<std::string>> Params::optionalStringArray(const char* name) const {
    std::optional<json::View> value = find(name);
    if (!value) {
        return std::nullopt;
    }
    if (!value->isArray()) {
        wrongType(name, "an array of strings", *value);
    }
    std::vector<std::string> strings;
    for (json::View element : value->elements()) {
        if (!element.isString()) {
            wrongType(name, "an array of strings", element);
        }
        strings.emplace_back(*element.string());
    }
    return strings;
}

std::optional<std::uint64_t> Params::optionalUid(const char* name) const {
    std::optional<json::View> value = find(name);
    if (!value) {
        return std::nullopt;
    }
    std::string problem;
    if (auto text = value->string()) {
        if (auto uid = parseUid(*text)) {
            return uid;
        }
        problem = quotedText(*text);
    } else if (value->kind() == json::Kind::uint64) {
        return value->uint64();
    } else if (value->kind() == json::Kind::int64) {
        if (value->int64() > 0) {
            return static_cast<std::uint64_t>(value->int64());
        }
        problem = std::to_string(value->int64());
    } else if (auto digits = value->bigIntegerDigits()) {
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
