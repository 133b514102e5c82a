#pragma once
// Start-up and shutdown of the window program: the DEBUG switch, the application object, the
// service connection, the log, the main window and the event loop, then the connection closed
// once whatever way the run ends.

#include "transport/Connection.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <string>

namespace cq::ui {

/// The steps of start-up that reach outside the program; the defaults are the real ones, tests
/// put their own in.
struct StartupSteps {
    std::function<int32_t(const ConnectionOptions& options)> createConn = CreateConn;
    std::function<void(int32_t handle)> closeConn = CloseConn;
    std::function<void()> initLog;                            ///< default: the program's log
    std::function<std::unique_ptr<QWidget>()> createMainForm; ///< default: MainWindow
};

/// Runs the program: start-up, the event loop until the main window is closed, shutdown.
/// Returns the exit status. Uses the running Qt application when there is one (tests), else
/// makes one from argc and argv. The first argument may be the DEBUG switch; "--email ADDRESS"
/// anywhere opens the window on the reception tab with that address.
int RunProgram(int& argc, char** argv, const StartupSteps& steps = {});

} // namespace cq::ui
