#include "dev_agent/server/poll_set.h"

#include <cerrno>

namespace quillbrook::dev_agent {

void PollSet::add(int fd, short events, Handler handler) {
    entries_.push_back({fd, events, 0});
    handlers_.push_back(std::move(handler));
}

bool PollSet::wait(int timeoutMillis) {
    return ::poll(entries_.data(), entries_.size(), timeoutMillis) >= 0 || errno == EINTR;
}

void PollSet::dispatch() {
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        handlers_[i](entries_[i].revents);
    }
}

}  // namespace quillbrook::dev_agent
