#pragma once

#include <map>
#include <string>
#include <vector>

namespace quillbrook::test_support {

struct ProcessResult {
    std::string out;
    std::string err;
    int status = -1;  // the exit status, or 128 + the signal that ended it
};

// Runs a program to its end with exactly the given environment (plus the
// sanitizer settings of this process), feeding `input` to its standard input.
ProcessResult runProcess(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
                         const std::string& input = "");

}  // namespace quillbrook::test_support
