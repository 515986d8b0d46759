#include "transport/output.h"

#include <string>

namespace quillbrook {

bool writeLine(int fd, std::string_view line) {
    std::string piece;
    piece.reserve(line.size() + 1);
    piece.append(line);
    piece.push_back('\n');
    return writeAll(fd, piece);
}

}  // namespace quillbrook
