#pragma once

#include <string>

namespace quillbrook::bench {

// A "list_emails" answer of about `bytes` bytes, shaped like a real mailbox:
// many small objects, mostly strings, some non-ASCII, URLs with solidi.
std::string sampleAnswer(std::size_t bytes);

}  // namespace quillbrook::bench
