#pragma once

#include <string>
#include <string_view>

namespace quillbrook::dev_agent {

// A readable plain-text rendering of an HTML body, for messages that carry no
// text part: tags dropped (script, style and head with their content), block
// elements and <br> as line breaks, list items as "- ", the common entities and
// numeric references decoded, white space folded as a browser would.
std::string htmlToText(std::string_view html);

}  // namespace quillbrook::dev_agent
