#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include "json/json.h"

namespace quillbrook::test_support {

// `text` read strictly into a built value, for tests that compare or edit it.
inline json::Value parsedValue(std::string_view text) {
    auto document = json::parseStrict(text);
    if (!document) {
        throw std::invalid_argument("not a JSON object or array: " + std::string(text));
    }
    return document->root().toValue();
}

}  // namespace quillbrook::test_support
