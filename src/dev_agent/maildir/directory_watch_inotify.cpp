#include <sys/inotify.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

#include "dev_agent/maildir/directory_watch.h"
#include "util/unique_fd.h"

namespace quillbrook::dev_agent {

namespace {

constexpr std::uint32_t kPresent = IN_MOVED_TO | IN_CLOSE_WRITE;
constexpr std::uint32_t kGone = IN_DELETE | IN_MOVED_FROM;
constexpr std::uint32_t kInvalid = IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT | IN_IGNORED;

class InotifyWatch final : public DirectoryWatch {
public:
    explicit InotifyWatch(UniqueFd fd) : fd_(std::move(fd)) {}

    std::optional<int> add(const std::string& path) override {
        int watch = ::inotify_add_watch(fd_.get(), path.c_str(), IN_CREATE | kPresent | kGone | kInvalid | IN_ONLYDIR);
        return watch < 0 ? std::nullopt : std::optional<int>(watch);
    }

    void remove(int watch) override { ::inotify_rm_watch(fd_.get(), watch); }

    std::vector<DirectoryEvent> read() override {
        std::vector<DirectoryEvent> events;
        alignas(inotify_event) std::array<char, 64 * 1024> buffer;
        for (;;) {
            ssize_t got = ::read(fd_.get(), buffer.data(), buffer.size());
            if (got <= 0) {
                if (got < 0 && errno == EINTR) {
                    continue;
                }
                return events;  // EAGAIN: nothing more waits
            }
            for (ssize_t at = 0; at < got;) {
                inotify_event header;
                std::memcpy(&header, buffer.data() + at, sizeof header);
                std::string name(header.len > 0 ? buffer.data() + at + sizeof header : "");
                at += static_cast<ssize_t>(sizeof header + header.len);
                add(events, header, std::move(name));
            }
        }
    }

private:
    void add(std::vector<DirectoryEvent>& events, const inotify_event& header, std::string name) {
        if ((header.mask & IN_Q_OVERFLOW) != 0) {
            events.push_back({DirectoryEvent::Kind::overflow, -1, {}});
        } else if ((header.mask & kInvalid) != 0) {
            if ((header.mask & IN_IGNORED) == 0) {
                ::inotify_rm_watch(fd_.get(), header.wd);
            }
            events.push_back({DirectoryEvent::Kind::invalid, header.wd, {}});
        } else if ((header.mask & IN_ISDIR) != 0) {
            return;  // a directory inside cur/ or new/ holds no message
        } else if ((header.mask & IN_CREATE) != 0) {
            events.push_back({DirectoryEvent::Kind::created, header.wd, std::move(name)});
        } else if ((header.mask & kPresent) != 0) {
            events.push_back({DirectoryEvent::Kind::present, header.wd, std::move(name)});
        } else if ((header.mask & kGone) != 0) {
            events.push_back({DirectoryEvent::Kind::gone, header.wd, std::move(name)});
        }
    }

    UniqueFd fd_;
};

}  // namespace

std::unique_ptr<DirectoryWatch> DirectoryWatch::open() {
    int fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    return std::make_unique<InotifyWatch>(UniqueFd(fd));
}

}  // namespace quillbrook::dev_agent
