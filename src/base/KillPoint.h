#pragma once
// Named points of the steps that change a user's files, where the tests of a build with its
// tests end the process at once (SIGKILL) to check that every interruption leaves a state the
// next run can finish or undo. CERTQUORIX_TEST_KILL_AT names the point; elsewhere, and in builds
// without tests, a point does nothing.

namespace cq {

/// The variable that names the point where a test build's process ends itself.
inline constexpr const char* kKillPointVariable = "CERTQUORIX_TEST_KILL_AT";

/// Ends the process with SIGKILL when the test build's variable names this point.
void KillPoint(const char* name) noexcept;

} // namespace cq
