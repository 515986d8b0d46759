#include "util/process_setup.h"

#include <csignal>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace quillbrook {

void prepareProcess() {
    // A reader that goes away (a closed pipe, an agent that hung up) must turn
    // into a failed write that we report, never a silent death by SIGPIPE.
    std::signal(SIGPIPE, SIG_IGN);
#if defined(__GLIBC__)
    // glibc maps every buffer as large as the last one freed afresh, so a server
    // answering one large message after another would fault in new pages for
    // each; keeping them on the heap lets them be reused. Other C libraries
    // need nothing here.
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 128 << 20);
#endif
}

void returnMemoryPromptly() {
#if defined(__GLIBC__)
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
    mallopt(M_TRIM_THRESHOLD, 8 << 20);
#endif
}

void releaseFreeMemory() {
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

}  // namespace quillbrook
