#pragma once

#include <string>
#include <string_view>

namespace quillbrook::dev_agent {

// A folder name as IMAP stores it in modified UTF-7 (RFC 3501: "&APw-" for "ü",
// "&-" for "&"), decoded to UTF-8. Synchronisers leave Maildir folders named so.
// A name that is not valid modified UTF-7 (raw UTF-8, a stray "&") is returned
// as it is.
std::string decodeModifiedUtf7(std::string_view name);

}  // namespace quillbrook::dev_agent
