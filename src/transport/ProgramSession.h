#pragma once
// What a run of the window or of the command-line tool holds from start-up to shutdown: the
// application object, the service connection and the program's log.

#include "app/AppServer.h"
#include "transport/Connection.h"

#include <functional>

namespace cq {

/// The folder, settings name and file suffix of the program's log.
inline constexpr const char* kLogAppFolder = "CertQuorix";
inline constexpr const char* kLogSettingsName = "CertQuorix";
inline constexpr const char* kLogNameSuffix = ".srt";

/// How a session opens and closes its connection; tests put their own in.
struct ConnectionSteps {
    std::function<int32_t(const ConnectionOptions&)> open = CreateConn;
    std::function<void(int32_t handle)> close = CloseConn;
};

/// Makes the application object and opens the service connection with its debug mode. The end
/// of the session closes the connection and takes the application object away, exactly once,
/// whatever way the run ends.
class ProgramSession {
public:
    explicit ProgramSession(bool debugMode, ConnectionSteps steps = {});
    ~ProgramSession();
    ProgramSession(const ProgramSession&) = delete;
    ProgramSession& operator=(const ProgramSession&) = delete;

    TAppServer& server() { return server_; }

    /// Starts the program's log (or what `initLog` puts in its place). A log that cannot start
    /// is reported as the log's start-up error and the run goes on without it; the message
    /// goes through the Dialogs installed by then.
    void startLog(const std::function<void()>& initLog = {});

private:
    TAppServer server_;
    ConnectionSteps steps_;
};

} // namespace cq
