#include "util/user_database.h"

#include <cstdio>

#include <pwd.h>
#include <unistd.h>

namespace quillbrook {

std::string homeOfCurrentUser() {
#if defined(QUILLBROOK_FULLY_STATIC)
    // A fully static program cannot load the C library's user-database
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
    // Through the C library, which asks whatever the system keeps users in
    // (on macOS, its directory service rather than /etc/passwd).
    const passwd* entry = ::getpwuid(::getuid());
    return entry != nullptr && entry->pw_dir != nullptr ? entry->pw_dir : "";
#endif
}

}  // namespace quillbrook
