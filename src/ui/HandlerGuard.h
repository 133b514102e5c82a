#pragma once
// What every handler of the window runs inside: errors that escape it are reported once and the
// window goes on; the hourglass is shown for the length of a scope.

#include "app/ErrorReport.h"

#include <QApplication>

#include <exception>

namespace cq::ui {

/// Runs a handler; an error that escapes it is reported once and the window goes on.
template <typename F> void Guarded(F&& handler) {
    try {
        handler();
    } catch (const std::exception& error) {
        QApplication::restoreOverrideCursor();
        OnApplicationError(error);
    }
}

/// The hourglass for the length of a scope.
class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

} // namespace cq::ui
