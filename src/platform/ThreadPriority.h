#pragma once
// Scheduling of the program's own background threads.

namespace cq {

/// Lowers the calling thread's scheduling priority, so that its wake-ups do not take the
/// processor from the threads it serves. Nothing happens where the system refuses.
void LowerCurrentThreadPriority();

} // namespace cq
