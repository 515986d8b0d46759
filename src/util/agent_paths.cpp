#include "util/agent_paths.h"

#include "util/user_database.h"

namespace quillbrook {

std::string homeDirectory(std::string_view homeVariable) {
    return homeVariable.empty() ? homeOfCurrentUser() : std::string(homeVariable);
}

std::string joinPath(std::string_view directory, std::string_view relative) {
    std::string path(directory);
    if (path.empty() || path.back() != '/') {
        path.push_back('/');
    }
    return path.append(relative);
}

std::string defaultAgentSocketPath(std::string_view home) { return joinPath(home, kAgentSocketInHome); }

}  // namespace quillbrook
