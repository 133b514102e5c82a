#pragma once
// One process-wide "stop what you are doing" flag. A window's "Прервать операцию?" answer, or a
// termination signal, raises it; long operations look at it where they can stop cleanly (the
// transport at every progress call of a transfer) and end by raising EAbort, so every operation
// rolls back exactly as it does on any other failure.

#include "base/Errors.h"
#include "base/Translate.h"

namespace cq {

/// An operation ended because it was asked to stop, not because something failed.
class EAbort : public Exception {
public:
    EAbort() : Exception(Tr("Операция прервана"), FailureClass::Cancelled) {}
    std::string className() const override { return "EAbort"; }
};

/// Asks the operation in progress to stop. Async-signal-safe: a signal handler may call it.
void RequestCancel() noexcept;

/// True from RequestCancel until ClearCancel.
bool CancelRequested() noexcept;

/// Lowers the flag before a new operation starts.
void ClearCancel() noexcept;

/// Raises EAbort when a stop was asked for.
void ThrowIfCancelled();

} // namespace cq
