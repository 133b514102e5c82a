#pragma once
// The exit status of a failed command, chosen by the first error it reported.

#include <string>

namespace cq::cli {

/// The status for an error shown with `caption` and `text`; kExitFailed when the text names no
/// failure of a kind of its own.
int FailureStatus(const std::string& caption, const std::string& text);

/// FailureStatus of the first error the console has shown in this run; kExitFailed when none.
int ReportedFailureStatus();

} // namespace cq::cli
