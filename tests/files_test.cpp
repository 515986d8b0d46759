#include "util/files.h"

#include <fstream>
#include <stdexcept>
#include <string>
#include <system_error>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/files.h"

// The file helpers the agent keeps its state with: which directories it trusts,
// and that reading a whole file never waits on something that is not one.

namespace quillbrook {
namespace {

using test_support::TempDir;

TEST(PrivateDirectory, OnlyOneTheUserOwnsAndAloneMayWriteIsTrusted) {
    struct Case {
        mode_t mode;
        const char* refusal;  // nullptr: trusted
    };
    const Case cases[] = {
        {0700, nullptr},
        {0755, nullptr},
        {0750, nullptr},
        {0770, "may be written by other users (mode 0770); fix it with chmod go-w "},
        {0703, "may be written by other users (mode 0703); fix it with chmod go-w "},
        {0777, "may be written by other users (mode 0777)"},
        {01777, "may be written by other users (mode 1777)"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        std::string path = dir.path() + "/state";
        ASSERT_EQ(::mkdir(path.c_str(), 0700), 0);
        ASSERT_EQ(::chmod(path.c_str(), c.mode), 0);
        if (c.refusal == nullptr) {
            EXPECT_NO_THROW(requirePrivateDirectory(path, "state directory")) << std::oct << c.mode;
            continue;
        }
        try {
            requirePrivateDirectory(path, "state directory");
            ADD_FAILURE() << "trusted mode " << std::oct << c.mode;
        } catch (const std::runtime_error& error) {
            std::string message = error.what();
            EXPECT_EQ(message.rfind("refusing " + path + " as the state directory: it ", 0), 0u) << message;
            EXPECT_NE(message.find(c.refusal), std::string::npos) << message;
        }
    }
}

TEST(PrivateDirectory, ADirectoryOfAnotherUserOrNoDirectoryIsRefused) {
    TempDir dir;
    std::string file = dir.path() + "/file";
    std::ofstream(file) << "x";
    EXPECT_THROW(requirePrivateDirectory(file, "drafts directory"), std::runtime_error);
    EXPECT_THROW(requirePrivateDirectory(dir.path() + "/missing", "drafts directory"), std::system_error);
    if (::geteuid() != 0) {
        GTEST_SKIP() << "only root can give a directory to another user";
    }
    std::string theirs = dir.path() + "/theirs";
    ASSERT_EQ(::mkdir(theirs.c_str(), 0700), 0);
    ASSERT_EQ(::chown(theirs.c_str(), 65534, 65534), 0);
    try {
        requirePrivateDirectory(theirs, "drafts directory");
        ADD_FAILURE() << "trusted a directory of user 65534";
    } catch (const std::runtime_error& error) {
        EXPECT_NE(std::string(error.what()).find("belongs to user 65534, not to you"), std::string::npos)
            << error.what();
    }
}

TEST(ReadWholeFile, RefusesWhatIsNoRegularFileWithoutWaiting) {
    TempDir dir;
    std::string fifo = dir.path() + "/fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_THROW(readWholeFile(fifo), NotARegularFile);
    EXPECT_THROW(readWholeFile(dir.path()), NotARegularFile);
    EXPECT_THROW(readWholeFile(dir.path() + "/missing"), std::system_error);
    std::string file = dir.path() + "/file";
    std::ofstream(file) << "whole";
    EXPECT_EQ(readWholeFile(file), "whole");
}

}  // namespace
}  // namespace quillbrook
