#include "dev_agent/base/thread_priority.h"

#if defined(__linux__)
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace quillbrook::dev_agent {

void runBehindOtherWork() {
#if defined(__linux__)
    // Linux keeps a nice value per thread: this sets the caller's alone. A
    // refusal leaves the thread as it was, which only orders work.
    constexpr int kBackgroundNice = 15;
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), kBackgroundNice);
#endif
}

}  // namespace quillbrook::dev_agent
