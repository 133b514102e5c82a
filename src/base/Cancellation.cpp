#include "base/Cancellation.h"

#include <atomic>

namespace cq {
namespace {

// Lock-free, so a signal handler may store to it.
std::atomic<bool> cancelRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free);

} // namespace

void RequestCancel() noexcept {
    cancelRequested.store(true);
}

bool CancelRequested() noexcept {
    return cancelRequested.load();
}

void ClearCancel() noexcept {
    cancelRequested.store(false);
}

void ThrowIfCancelled() {
    if (CancelRequested())
        throw EAbort();
}

} // namespace cq
