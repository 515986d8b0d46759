#include "dev_agent/base/log.h"

#include <string>

#include <unistd.h>

namespace quillbrook::dev_agent {

void logLine(std::string_view message) {
    std::string line = "dev-agent: ";
    line.reserve(line.size() + message.size() + 1);
    for (char c : message) {
        line.push_back(c == '\n' || c == '\r' ? ' ' : c);
    }
    line.push_back('\n');
    // Nothing sensible is left to do when standard error itself fails.
    [[maybe_unused]] ssize_t written = ::write(STDERR_FILENO, line.data(), line.size());
}

}  // namespace quillbrook::dev_agent
