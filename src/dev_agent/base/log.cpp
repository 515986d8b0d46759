#include "dev_agent/base/log.h"

#include <mutex>
#include <set>
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

void logLineOnce(std::string_view key, std::string_view message) {
    // Bounded, so that a mailbox of endless faults cannot grow it without end;
    // past the bound a fault may be reported again.
    constexpr std::size_t kMaxRemembered = 10000;
    static std::mutex mutex;
    static std::set<std::string, std::less<>> logged;
    {
        std::lock_guard lock(mutex);
        if (logged.contains(key)) {
            return;
        }
        if (logged.size() >= kMaxRemembered) {
            logged.clear();
        }
        logged.emplace(key);
    }
    logLine(message);
}

}  // namespace quillbrook::dev_agent
