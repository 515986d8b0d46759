#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/files.h"
#include "util/unique_fd.h"

namespace quillbrook::test_support {

// A child process driven one line at a time: what it writes to standard output
// is read line by line as the test goes, and its standard error goes to a file
// that can be read once it has ended. For conversations that runProcess, which
// feeds all input up front, cannot have.
class PipedChild {
public:
    struct Exit {
        int status = -1;      // the exit status, or 128 + the signal that ended it
        long peakRssKiB = 0;  // the child's peak resident set size
    };

    PipedChild(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env);
    ~PipedChild();
    PipedChild(const PipedChild&) = delete;
    PipedChild& operator=(const PipedChild&) = delete;

    pid_t pid() const { return pid_; }
    // Writes all of `bytes` to the child's standard input; false once it is gone.
    bool send(std::string_view bytes);
    // The next line of standard output without its line feed, or nothing when
    // the output ended or no line came within `timeout`.
    std::optional<std::string> readLine(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    void closeInput();
    // Stops reading standard output, as a client that went away would.
    void closeOutput();
    // Closes the input and waits for the end.
    Exit wait();
    // Everything the child wrote to standard error; complete after wait().
    std::string errorOutput() const;

private:
    TempDir scratch_;  // holds the file that takes standard error
    pid_t pid_ = -1;
    UniqueFd input_;
    UniqueFd output_;
    std::string pending_;
    std::optional<Exit> exit_;
};

}  // namespace quillbrook::test_support
