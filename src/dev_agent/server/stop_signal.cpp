#include "dev_agent/server/stop_signal.h"

#include <csignal>

namespace quillbrook::dev_agent {

namespace {

volatile std::sig_atomic_t gWriteFd = -1;

extern "C" void onStopSignal(int) {
    if (gWriteFd >= 0) {
        WakePipe::wake(gWriteFd);
    }
}

void installHandler(int signal, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    ::sigaction(signal, &action, nullptr);
}

}  // namespace

StopSignal::StopSignal() {
    gWriteFd = pipe_.writeFd();
    installHandler(SIGINT, onStopSignal);
    installHandler(SIGTERM, onStopSignal);
    installHandler(SIGPIPE, SIG_IGN);
}

StopSignal::~StopSignal() {
    installHandler(SIGINT, SIG_DFL);
    installHandler(SIGTERM, SIG_DFL);
    gWriteFd = -1;
}

}  // namespace quillbrook::dev_agent
