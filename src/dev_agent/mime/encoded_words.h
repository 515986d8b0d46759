#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quillbrook::dev_agent {

// `header` (a message's header block) with every run of adjacent RFC 2047
// encoded words that claims UTF-8 or ASCII but does not hold it relabelled as
// Windows-1252, so that such text reads as body text with a wrong charset does
// instead of GMime's "?" for each bad byte. Adjacent words are judged together,
// as a character may be split across them. Nothing when no run needs it, which
// is nearly always.
std::optional<std::string> relabelMislabelledEncodedWords(std::string_view header);

// Whether GMime's lenient decoding of encoded words would take far more than
// linear time over `text`: for each "=?" it searches the rest of the header for
// a "?=", so text with many "=?" and no "?=" after them costs it the square of
// its length (a 1 MB Subject, minutes). True when those searches would read
// `text` more than 16 times over (and more than a megabyte in all).
bool lenientDecodingIsCostly(std::string_view text);

}  // namespace quillbrook::dev_agent
