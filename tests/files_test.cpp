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

TEST(ReadWholeFile, RefusesWhatIsNoRegularFileWithoutWaiting) {
    TempDir dir;
    std::string fifo = dir.path() + "/fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_THROW(readWholeFile(fifo), std::system_error);
    EXPECT_THROW(readWholeFile(dir.path()), std::system_error);
    std::string file = dir.path() + "/file";
    std::ofstream(file) << "whole";
    EXPECT_EQ(readWholeFile(file), "whole");
}

}  // namespace
}  // namespace quillbrook
