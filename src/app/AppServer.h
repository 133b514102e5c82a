#pragma once
// The one application object: the debug switch and the handle of the open service connection.

#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <vector>

namespace cq {

class TAppBase {
public:
    virtual ~TAppBase() = default;
};

/// Receives the errors that escape to the event loop.
using ApplicationErrorHandler = std::function<void(const std::exception&)>;
void SetApplicationErrorHandler(ApplicationErrorHandler handler);
/// Hands an error that escaped an event handler to the installed handler.
void HandleApplicationError(const std::exception& error);

class TAppServer : public TAppBase {
public:
    /// Becomes the application-wide error handler, which discards every error until the main
    /// window installs its own.
    explicit TAppServer(bool debugMode);

    const bool DebugMode;
    int32_t ConnectionHandle = 0;
};

/// The process-wide application object (nullptr before start-up creates it).
TAppServer* AppServer();
void SetAppServer(TAppServer* server);

/// The DEBUG switch: the first argument is "-", "/" or "\" followed by "DEBUG" in any case.
/// `arguments` excludes the program name.
bool IsDebugSwitch(const std::vector<std::string>& arguments);

} // namespace cq
