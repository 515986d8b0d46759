#include "dev_agent/store/state_lock.h"

#include <cerrno>
#include <stdexcept>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "util/files.h"
#include "util/io.h"

namespace quillbrook::dev_agent {

StateDirectoryLock::StateDirectoryLock(const std::string& stateDir) {
    makePrivateDirectory(stateDir, "state directory");
    std::string path = stateDir + "/agent.lock";
    // Never through a link: the pid written below would land in whatever file it names.
    fd_ = UniqueFd(::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
    if (!fd_.valid()) {
        throwErrno("cannot open " + path + (errno == ELOOP ? " (a symbolic link; remove it)" : ""));
    }
    struct stat info {};
    if (::fstat(fd_.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        throw std::runtime_error(path + " is not a regular file; remove it");
    }
    if (::flock(fd_.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK) {
            throwErrno("cannot lock " + path);
        }
        std::string holder = readWholeFile(path);
        while (!holder.empty() && (holder.back() == '\n' || holder.back() == ' ')) {
            holder.pop_back();
        }
        throw std::runtime_error("another agent" + (holder.empty() ? std::string() : " (pid " + holder + ")") +
                                 " is using the state directory " + stateDir +
                                 "; stop it first or give this one its own --state-dir");
    }
    // Only for the message above; the lock itself is the flock.
    std::string pid = std::to_string(::getpid()) + "\n";
    if (::ftruncate(fd_.get(), 0) == 0) {
        [[maybe_unused]] ssize_t written = ::pwrite(fd_.get(), pid.data(), pid.size(), 0);
    }
}

}  // namespace quillbrook::dev_agent
