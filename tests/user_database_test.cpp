#include "util/user_database.h"

#include <pwd.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "util/agent_paths.h"

namespace quillbrook {
namespace {

// Built twice: with the C library's lookup and with the static client's own
// reading of /etc/passwd; both must find what the C library finds.
TEST(HomeOfCurrentUser, IsTheHomeTheCLibraryReports) {
    const passwd* entry = ::getpwuid(::getuid());
    if (entry == nullptr || entry->pw_dir == nullptr) {
        GTEST_SKIP() << "the current user has no entry in the user database";
    }
    EXPECT_EQ(homeOfCurrentUser(), entry->pw_dir);
}

TEST(HomeDirectory, PrefersHomeAndFallsBackToTheUserDatabaseWhenItIsEmpty) {
    EXPECT_EQ(homeDirectory("/srv/mail"), "/srv/mail");
    EXPECT_EQ(homeDirectory(""), homeOfCurrentUser());
}

}  // namespace
}  // namespace quillbrook
