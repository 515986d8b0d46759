#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include <sys/types.h>

#include "util/unique_fd.h"

namespace quillbrook {

// Writes `bytes` to `tempPath` (which must not exist), flushes them to disk and
// renames the file to `finalPath`, so that a reader or a crash sees either the
// whole file or none. Throws std::system_error.
void publishFile(const std::string& tempPath, const std::string& finalPath, std::string_view bytes, mode_t mode);

// publishFile through a temporary name beside `path`; replaces an existing file.
void writeFileAtomically(const std::string& path, std::string_view bytes, mode_t mode = 0600);

// Thrown for a path that names something other than a regular file.
struct NotARegularFile : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// `path` opened for reading, without ever waiting on it (a FIFO or a device
// put where a file was expected), once it proved a regular file. Throws
// std::system_error, or NotARegularFile.
UniqueFd openRegularFile(const std::string& path);

// The whole file; throws as openRegularFile, or std::system_error when it
// cannot be read.
std::string readWholeFile(const std::string& path);

// Creates `path` and its missing parents with `mode`; existing directories are
// left as they are. Throws std::system_error.
void makeDirectories(const std::string& path, mode_t mode);

// Throws std::runtime_error, naming `path` and the fix, unless `path` is a
// directory owned by this process's user that neither group nor others may
// write to: in a directory someone else can write, they can plant, replace or
// redirect what the program keeps there. `role` says what the directory is for.
void requirePrivateDirectory(const std::string& path, std::string_view role);

// makeDirectories with mode 0700, then requirePrivateDirectory.
void makePrivateDirectory(const std::string& path, std::string_view role);

// Sets O_NONBLOCK and FD_CLOEXEC, as every descriptor the agent polls needs.
void setNonBlockingCloseOnExec(int fd);

// The directory part of `path`: "." for a bare name, "/" for a name under the root.
std::string_view parentDirectory(std::string_view path);

// A name that no other call in this or another process returns: host-independent
// parts of the Maildir scheme (time, pid, counter, randomness), sorting in
// creation order.
std::string uniqueFileStem();

}  // namespace quillbrook
