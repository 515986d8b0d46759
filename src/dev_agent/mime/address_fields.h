#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace quillbrook::dev_agent {

// GMime reads nested address groups ("g:g:g:…a@b.c;;;") by recursion, one level
// per colon, so a field of a few hundred kilobytes overflows the stack. Groups do
// not nest in RFC 5322 and no address list needs many colons (a group each, a
// colon in a quoted name), so every colon of a field past the first
// kMaxAddressColons is read as a space: GMime then never nests deeper than that,
// however it recovers from what else is broken in the field.
inline constexpr std::size_t kMaxAddressColons = 100;

// `message` with its address fields bounded so: the fields GMime parses as
// address lists (From, To, Cc, Bcc, Reply-To, Sender), wherever a line starts
// such a field, so that the headers of forwarded messages are bounded too.
// Nothing when no field needed it, which is nearly always.
std::optional<std::string> withBoundedAddressFields(std::string_view message);

// One address list, as a caller gives it, bounded the same way.
std::string boundedAddressList(std::string_view addresses);

}  // namespace quillbrook::dev_agent
