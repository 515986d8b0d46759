#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include <sys/socket.h>
#include <sys/un.h>

#include "util/unique_fd.h"

namespace quillbrook {

// The longest socket path either program uses: the address field holds 104
// bytes on the platforms with the smallest one, and the path keeps its NUL.
inline constexpr std::size_t kMaxSocketPathBytes = 103;

// The address of the Unix-domain socket at `path`; nothing when the path is
// empty or longer than kMaxSocketPathBytes.
std::optional<sockaddr_un> unixAddress(std::string_view path);

// A new Unix-domain stream socket, closed on exec. A write to a peer that has
// gone away fails with EPIPE instead of raising SIGPIPE where the platform has
// a socket option for it (elsewhere, send with kNoSigpipeFlag). Invalid, with
// errno set, when it cannot be created.
UniqueFd newUnixSocket();

// A stream socket connected to `path`; invalid, with errno set, on failure.
UniqueFd connectUnixSocket(std::string_view path);

// Writes all of `bytes` to the socket `fd`, retrying after signals; false when
// the peer has gone or the socket fails (errno says why). Never raises SIGPIPE.
bool sendAll(int fd, std::string_view bytes);

}  // namespace quillbrook
