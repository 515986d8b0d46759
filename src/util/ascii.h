#pragma once

namespace quillbrook {

// White space as the C locale knows it: blank, tab, line feed, carriage return,
// form feed and vertical tab. For text whose spacing is folded, never for
// deciding what a character means beyond ASCII.
constexpr bool isAsciiSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

}  // namespace quillbrook
