#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quillbrook::test_support {

// `unit` written `count` times: the long inputs of the hostile cases.
inline std::string repeated(std::string_view unit, std::size_t count) {
    std::string text;
    text.reserve(unit.size() * count);
    for (std::size_t i = 0; i < count; ++i) {
        text += unit;
    }
    return text;
}

}  // namespace quillbrook::test_support
