#include "dev_agent/server/wake_pipe.h"

#include <cerrno>
#include <string>

#include <poll.h>
#include <unistd.h>

#include "util/files.h"
#include "util/io.h"

namespace quillbrook::dev_agent {

WakePipe::WakePipe(const char* what) {
    int ends[2];
    if (::pipe(ends) != 0) {
        throwErrno(std::string("cannot create the ") + what);
    }
    readEnd_ = UniqueFd(ends[0]);
    writeEnd_ = UniqueFd(ends[1]);
    setNonBlockingCloseOnExec(ends[0]);
    setNonBlockingCloseOnExec(ends[1]);
}

void WakePipe::wake(int writeFd) {
    int saved = errno;
    char byte = 'w';
    [[maybe_unused]] ssize_t written = ::write(writeFd, &byte, 1);
    errno = saved;
}

bool WakePipe::woken() const {
    pollfd entry{readEnd_.get(), POLLIN, 0};
    return ::poll(&entry, 1, 0) > 0;
}

void WakePipe::drain() const {
    char drain[256];
    while (readSome(readEnd_.get(), drain, sizeof drain) > 0) {
    }
}

}  // namespace quillbrook::dev_agent
