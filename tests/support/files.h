#pragma once

#include <string>
#include <vector>

namespace quillbrook::test_support {

// A fresh directory under /tmp (short, so socket paths inside it fit), removed
// with everything in it when the value goes away.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// The whole content of a file; empty when it cannot be read.
std::string readFile(const std::string& path);

// The paths of the entries of `directory`, in no particular order; none when it cannot be listed.
std::vector<std::string> filesIn(const std::string& directory);

}  // namespace quillbrook::test_support
