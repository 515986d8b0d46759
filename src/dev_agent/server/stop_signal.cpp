#include "dev_agent/server/stop_signal.h"

#include <cerrno>
#include <csignal>
#include <stdexcept>

#include <poll.h>

#include "util/files.h"
#include "util/io.h"

namespace quillbrook::dev_agent {

namespace {

volatile std::sig_atomic_t gWriteFd = -1;

extern "C" void onStopSignal(int) {
    int saved = errno;
    if (gWriteFd >= 0) {
        char byte = 's';
        [[maybe_unused]] ssize_t written = ::write(gWriteFd, &byte, 1);
    }
    errno = saved;
}

void installHandler(int signal, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    ::sigaction(signal, &action, nullptr);
}

}  // namespace

StopSignal::StopSignal() {
    int ends[2];
    if (::pipe(ends) != 0) {
        throwErrno("cannot create the stop pipe");
    }
    readEnd_ = UniqueFd(ends[0]);
    writeEnd_ = UniqueFd(ends[1]);
    setNonBlockingCloseOnExec(ends[0]);
    setNonBlockingCloseOnExec(ends[1]);
    gWriteFd = ends[1];
    installHandler(SIGINT, onStopSignal);
    installHandler(SIGTERM, onStopSignal);
    installHandler(SIGPIPE, SIG_IGN);
}

StopSignal::~StopSignal() {
    installHandler(SIGINT, SIG_DFL);
    installHandler(SIGTERM, SIG_DFL);
    gWriteFd = -1;
}

bool StopSignal::requested() const {
    pollfd entry{readEnd_.get(), POLLIN, 0};
    return ::poll(&entry, 1, 0) > 0;
}

}  // namespace quillbrook::dev_agent
