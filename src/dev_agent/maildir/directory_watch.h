#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quillbrook::dev_agent {

// What the kernel tells of a watched directory's entries. A rename within a
// directory is the old name gone and the new one present; a file written in
// place is created, then present once closed.
struct DirectoryEvent {
    enum class Kind {
        created,   // `name` was made here: whole when linked in, maybe still written when written in place
        present,   // `name` was moved into the directory, or written and closed
        gone,      // `name` left it
        invalid,   // the watch can no longer be trusted (the directory went or was replaced); it is ended
        overflow,  // events were lost: no watch can be trusted (`watch` is -1)
    };
    Kind kind;
    int watch;
    std::string name;
};

// Changes to the entries of directories, learnt from the kernel instead of
// listings, so that a change costs the change and not the directory. One
// implementation per platform (inotify on Linux); where there is none, open()
// gives nothing and the caller lists directories instead.
class DirectoryWatch {
public:
    // Nothing when the platform has no watch or the kernel refuses one.
    static std::unique_ptr<DirectoryWatch> open();
    virtual ~DirectoryWatch() = default;

    // Starts watching `path`; nothing when it cannot be watched (gone, no
    // permission, the kernel's limit of watches reached).
    virtual std::optional<int> add(const std::string& path) = 0;
    virtual void remove(int watch) = 0;
    // The events that wait, without waiting for more. Events are queued when
    // the change happens, so a change made before the call is among them.
    virtual std::vector<DirectoryEvent> read() = 0;
};

}  // namespace quillbrook::dev_agent
