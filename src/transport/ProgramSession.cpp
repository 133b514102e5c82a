#include "transport/ProgramSession.h"

#include "app/ErrorReport.h"
#include "base/Dialogs.h"
#include "log/Log.h"

namespace cq {

ProgramSession::ProgramSession(bool debugMode, ConnectionSteps steps)
    : server_(debugMode), steps_(std::move(steps)) {
    SetAppServer(&server_);
    try {
        server_.ConnectionHandle = steps_.open({debugMode});
    } catch (...) {
        SetAppServer(nullptr);
        throw;
    }
}

ProgramSession::~ProgramSession() {
    steps_.close(server_.ConnectionHandle);
    SetAppServer(nullptr);
}

void ProgramSession::startLog(const std::function<void()>& initLog) {
    try {
        if (initLog)
            initLog();
        else
            InitLog(kLogAppFolder, kLogSettingsName, kLogNameSuffix);
    } catch (const std::exception& error) {
        ShowErrorBox(error.what(), context::kLogInit);
    }
}

} // namespace cq
