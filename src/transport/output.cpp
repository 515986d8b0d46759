#include "transport/output.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

#include <unistd.h>

#include "util/descriptor_wait.h"

namespace quillbrook {

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
