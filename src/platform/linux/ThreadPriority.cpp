#include "platform/ThreadPriority.h"

#include <sys/resource.h>
#include <unistd.h>

namespace cq {

namespace {
// A nice value that still gets the thread a fair share of an idle or lightly used processor.
constexpr int kBackgroundNice = 10;
} // namespace

void LowerCurrentThreadPriority() {
    // On Linux a nice value belongs to a thread: this one only.
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), kBackgroundNice);
}

} // namespace cq
