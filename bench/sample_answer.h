#pragma once

#include <cstddef>
#include <string>

namespace quillbrook::bench {

// A "list_emails" answer line of about `bytes` bytes, shaped like a real
// mailbox: many small objects, mostly strings, some non-ASCII, URLs with solidi.
std::string sampleAnswer(std::size_t bytes);

// A "list_emails" result object of `count` messages of about `bytesEach` bytes.
std::string mailboxResult(int count, std::size_t bytesEach);

// A "read_email" result object of about `bytes` bytes whose bodies are long,
// real-looking text and HTML: quotes, line feeds, tabs, tags, non-ASCII and
// many solidi.
std::string readEmailResult(std::size_t bytes);

// The agent's answer line {"ok":true,"result":...} around a result object.
std::string okAnswer(const std::string& resultJson);

}  // namespace quillbrook::bench
