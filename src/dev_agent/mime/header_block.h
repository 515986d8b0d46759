#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillbrook::dev_agent {

// Where the header block of a raw message ends. Mail in the wild does not always
// end it with a blank line: a writer forgets it, or a file holds no header at all.
// The block then ends at the first line that cannot belong to it.
struct HeaderBlock {
    std::size_t end = 0;        // just past the last header line
    std::size_t bodyStart = 0;  // past the blank line, or `end` when there is none
    bool endsWithBlankLine = false;
};

// A line belongs to the header block when it is a field ("Name: value", white
// space allowed before the colon), a continuation of the field before it, or, as
// the first line, an mbox "From " separator. Written by hand because GMime reads a
// body that follows the header without a blank line as part of the header and
// drops it.
HeaderBlock findHeaderBlock(std::string_view raw);

// One field as GMime keeps it: the name, and the raw value from just past the
// colon to the end of the field's last line, line end included.
struct HeaderField {
    std::string_view name;
    std::string_view rawValue;
};

// The fields of `header` (a header block, blank line or not) when each of its
// lines is plain: a field whose name is printable ASCII right before the colon,
// or a continuation with text after its white space, ended by LF or CRLF, no
// NUL anywhere. Nothing otherwise: such a header is left to GMime's parser,
// whose ways with it no field reader should try to match.
std::optional<std::vector<HeaderField>> plainFields(std::string_view header);

// GMime grows a field by one reallocation per continuation line; where a
// reallocation copies (AddressSanitizer's allocator, allocators without
// mremap), a field folded over tens of thousands of lines costs the square of
// its length: 1 MiB took 12 s under ASan, 0.2 s unfolded. A header block of more continuation lines than any mail
// program writes is given unfolded (each line break before white space removed,
// which is all unfolding is), and reads to the same text. Nothing otherwise.
inline constexpr std::size_t kMaxFoldedLines = 1000;
std::optional<std::string> unfoldedWhenCostly(std::string_view header);

}  // namespace quillbrook::dev_agent
