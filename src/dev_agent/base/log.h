#pragma once

#include <string_view>

namespace quillbrook::dev_agent {

// Writes "dev-agent: <message>" as one line on standard error, in one write so that
// lines of concurrent writers never interleave. Line feeds inside `message` are
// replaced so that every event stays on one line.
void logLine(std::string_view message);

// logLine, but only the first time for `key` (a file's path, say), so that a
// fault met on every look is reported once, not on every request.
void logLineOnce(std::string_view key, std::string_view message);

}  // namespace quillbrook::dev_agent
