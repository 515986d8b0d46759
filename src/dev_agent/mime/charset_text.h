#pragma once

#include <string>
#include <string_view>

namespace quillbrook::dev_agent {

// Text of a message part as valid UTF-8, whatever its label says. The declared
// charset wins when the bytes are valid in it; otherwise the text is read as
// UTF-8 when it is valid UTF-8, else as Windows-1252 (what undeclared or
// mislabelled 8-bit mail nearly always is), and bytes that still mean nothing
// become U+FFFD. `charset` may be empty (undeclared) or unknown to iconv.
std::string decodeText(std::string_view bytes, std::string_view charset);

// True for the labels under which bytes are taken as UTF-8 as they are: none,
// UTF-8, and ASCII (a subset; 8-bit text labelled ASCII is mislabelled).
bool isUtf8Label(std::string_view charset);

}  // namespace quillbrook::dev_agent
