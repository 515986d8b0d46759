#pragma once

// Our built values as an independent parser holds them, so that what a writer
// wrote can be compared with what that parser reads back.

#include <nlohmann/json.hpp>

#include "json/json.h"

namespace quillbrook::fuzz {

// An integer too long for 64 bits is a double to nlohmann, and one beyond the
// double range is unreadable (discarded) to it; so is pre-written text, which
// only a writer of ours reads.
inline nlohmann::json asIndependentlyParsed(const json::Value& value) {
    switch (value.kind()) {
    case json::Kind::null:
        return nullptr;
    case json::Kind::falseValue:
    case json::Kind::trueValue:
        return value.isTrue();
    case json::Kind::string:
        return value.string();
    case json::Kind::bigInteger:
        return nlohmann::json::parse(value.text(), nullptr, false);
    case json::Kind::int64:
        return value.int64();
    case json::Kind::uint64:
        return value.uint64();
    case json::Kind::real:
        return value.real();
    case json::Kind::array: {
        nlohmann::json array = nlohmann::json::array();
        for (const json::Value& element : value.elements()) {
            array.push_back(asIndependentlyParsed(element));
        }
        return array;
    }
    case json::Kind::object: {
        nlohmann::json object = nlohmann::json::object();
        for (const json::Value::Member& member : value.members()) {
            object[member.first] = asIndependentlyParsed(member.second);
        }
        return object;
    }
    case json::Kind::preWritten:
        break;
    }
    return nlohmann::json(nlohmann::json::value_t::discarded);
}

}  // namespace quillbrook::fuzz
