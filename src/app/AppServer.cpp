#include "app/AppServer.h"

#include "app/StringUtil.h"

namespace cq {
namespace {
TAppServer* appServer = nullptr;
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
