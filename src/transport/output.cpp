#include "transport/output.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

#include <unistd.h>

#include "util/descriptor_wait.h"

namespace quillbrook {

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            // A reader may hand us a non-blocking descriptor: wait until it
            // drains rather than cut a line short.
            if ((errno == EAGAIN || errno == EWOULDBLOCK) && waitWritable(fd)) {
                continue;
            }
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

bool writeLine(int fd, std::string_view line) {
    std::string piece;
    piece.reserve(line.size() + 1);
    piece.append(line);
    piece.push_back('\n');
    return writeAll(fd, piece);
}

void writeStandardOutput(std::string_view bytes) {
    if (!writeAll(STDOUT_FILENO, bytes)) {
        throw std::runtime_error(std::string("cannot write to standard output: ") + std::strerror(errno));
    }
}

}  // namespace quillbrook
