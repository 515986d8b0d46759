#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include <sys/types.h>

#include "util/descriptor_wait.h"

namespace quillbrook {

// Throws std::system_error with errno's reason after `what`.
[[noreturn]] void throwErrno(const std::string& what);

// One read(2) into `buffer`, repeated when a signal interrupts it.
ssize_t readSome(int fd, char* buffer, std::size_t size);

// Where writeAll's bytes go: a socket is written with send(2), so that a peer
// that has gone never raises SIGPIPE.
enum class Sink { file, socket };

// One write(2) (or send(2) for a socket) of `bytes`, repeated when a signal
// interrupts it.
ssize_t writeSome(int fd, std::string_view bytes, Sink sink);

// Asked by writeAll when a non-blocking `fd` takes no more bytes for now: true
// once it may be written again, false to give up.
using WaitWritable = std::function<bool(int fd)>;

// Writes all of `bytes` to `fd`, however many calls it takes; false (with
// errno set) on failure or when `wait` gives up.
bool writeAll(int fd, std::string_view bytes, Sink sink = Sink::file, const WaitWritable& wait = waitWritable);

}  // namespace quillbrook
