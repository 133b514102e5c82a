#include "app/AppServer.h"

#include "base/StringUtil.h"

namespace cq {
namespace {
TAppServer* appServer = nullptr;
ApplicationErrorHandler applicationErrorHandler;
} // namespace

TAppServer::TAppServer(bool debugMode) : DebugMode(debugMode) {
    SetApplicationErrorHandler([](const std::exception&) {});
}

void SetApplicationErrorHandler(ApplicationErrorHandler handler) {
    applicationErrorHandler = std::move(handler);
}

void HandleApplicationError(const std::exception& error) {
    if (applicationErrorHandler)
        applicationErrorHandler(error);
}

TAppServer* AppServer() {
    return appServer;
}

void SetAppServer(TAppServer* server) {
    appServer = server;
}

bool IsDebugSwitch(const std::vector<std::string>& arguments) {
    if (arguments.empty() || arguments.front().empty())
        return false;
    const std::string& first = arguments.front();
    const char sign = first.front();
    return (sign == '-' || sign == '/' || sign == '\\') && SameText(first.substr(1), "DEBUG");
}

} // namespace cq
