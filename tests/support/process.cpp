#include "support/process.h"

#include <cerrno>
#include <csignal>

#include <poll.h>
#include <unistd.h>

#include "support/spawn.h"

namespace quillbrook::test_support {

ProcessResult runProcess(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
                         const std::string& input) {
    std::signal(SIGPIPE, SIG_IGN);
    Pipe in, out, err;
    pid_t pid = spawnProcess(argv, childEnvironment(env), {in.read.get(), out.write.get(), err.write.get()});
    in.read.reset();
    out.write.reset();
    err.write.reset();

    ProcessResult result;
    std::string_view unsent = input;
    if (unsent.empty()) {
        in.write.reset();
    }
    // Input and both outputs move together, so a child that answers while it
    // still reads never blocks on a full pipe.
    while (in.write.valid() || out.read.valid() || err.read.valid()) {
        std::vector<pollfd> fds;
        if (in.write.valid())
            fds.push_back({in.write.get(), POLLOUT, 0});
        if (out.read.valid())
            fds.push_back({out.read.get(), POLLIN, 0});
        if (err.read.valid())
            fds.push_back({err.read.get(), POLLIN, 0});
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        for (const pollfd& ready : fds) {
            if (ready.revents == 0)
                continue;
            if (ready.fd == in.write.get()) {
                ssize_t n = ::write(ready.fd, unsent.data(), unsent.size());
                if (n > 0)
                    unsent.remove_prefix(static_cast<std::size_t>(n));
                if (n <= 0 || unsent.empty())
                    in.write.reset();
                continue;
            }
            bool isOut = ready.fd == out.read.get();
            char buffer[65536];
            ssize_t n = ::read(ready.fd, buffer, sizeof buffer);
            if (n <= 0) {
                (isOut ? out.read : err.read).reset();
            } else {
                (isOut ? result.out : result.err).append(buffer, static_cast<std::size_t>(n));
            }
        }
    }
    result.status = waitForExit(pid);
    return result;
}

}  // namespace quillbrook::test_support
