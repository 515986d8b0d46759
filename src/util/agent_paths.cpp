#include "util/agent_paths.h"

#include <cstdio>

#include <pwd.h>
#include <unistd.h>

namespace quillbrook {

namespace {

std::string homeOfCurrentUser() {
#if defined(QUILLBROOK_STATIC_CLI)
    // A static binary cannot rely on loading the C library's user-database
    // modules at run time, so it reads the local user file itself.
    std::string home;
    if (FILE* users = std::fopen("/etc/passwd", "r")) {
        while (const passwd* entry = ::fgetpwent(users)) {
            if (entry->pw_uid == ::getuid() && entry->pw_dir != nullptr) {
                home = entry->pw_dir;
                break;
            }
        }
        std::fclose(users);
    }
    return home;
#else
    const passwd* entry = ::getpwuid(::getuid());
    return entry != nullptr && entry->pw_dir != nullptr ? entry->pw_dir : "";
#endif
}

}  // namespace

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
