#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace quillbrook::dev_agent {

// GMime's address parser has two costs no address list needs, which a sender
// can make unbounded. Every address field is given to it bounded so:
//  - It reads nested groups ("g:g:g:…a@b.c;;;") by recursion, one level per
//    colon, so a field of a few hundred kilobytes overflows the stack. Groups
//    do not nest in RFC 5322 and no list needs many colons (a group each, a
//    colon in a quoted name): every colon past the first kMaxAddressColons is
//    read as a space.
//  - It reads an unquoted name up to the next special character, past commas
//    (some programs write "Doe, John <j@d.example>"), once for every address
//    in it: "g,g,g,…" costs the square of its length, 5 s for 32 KB. A name
//    needs few commas: in a stretch without "<", ">", "@", ";" or a kept colon,
//    every comma past the first kMaxCommasInName is read as a space.
//  - Even well-formed, a list costs more than linear time in GMime, and no
//    list of recipients needs more than kMaxAddressFieldBytes: a field is cut
//    at its last comma before that many bytes.
inline constexpr std::size_t kMaxAddressColons = 100;
inline constexpr std::size_t kMaxCommasInName = 10;
inline constexpr std::size_t kMaxAddressFieldBytes = 64 * 1024;

// `message` with its address fields bounded so: the fields GMime parses as
// address lists (From, To, Cc, Bcc, Reply-To, Sender), wherever a line starts
// such a field, so that the headers of forwarded messages are bounded too. A
// field cut short makes the text shorter. Nothing when no field needed it,
// which is nearly always.
std::optional<std::string> withBoundedAddressFields(std::string_view message);

// One address list, as a caller gives it, bounded the same way but not cut: a
// caller is told when a list is too long (see addressListProblem).
std::string boundedAddressList(std::string_view addresses);

}  // namespace quillbrook::dev_agent
