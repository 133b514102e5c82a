#pragma once
// The one application object: the debug switch and the handle of the open service connection.

#include <cstdint>
#include <string>
#include <vector>

namespace cq {

class TAppBase {
public:
    virtual ~TAppBase() = default;
};

class TAppServer : public TAppBase {
public:
    explicit TAppServer(bool debugMode) : DebugMode(debugMode) {}

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
