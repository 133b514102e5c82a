#include "ui/Startup.h"

#include "app/AppServer.h"
#include "app/ErrorReport.h"
#include "base/Dialogs.h"
#include "log/Log.h"
#include "ui/Application.h"
#include "ui/MainSertForm.h"
#include "ui/QtDialogs.h"
#include "ui/SertInfo.h"
#include "ui/TerminationWatch.h"

#include <optional>
#include <vector>

namespace cq::ui {
namespace {

// Closes the service connection on every way out of the run, exactly once.
class ConnectionScope {
public:
    ConnectionScope(TAppServer& server, const StartupSteps& steps) : steps_(steps) {
        server.ConnectionHandle = steps_.createConn(0, {server.DebugMode});
        handle_ = server.ConnectionHandle;
    }
    ~ConnectionScope() { steps_.closeConn(handle_); }
    ConnectionScope(const ConnectionScope&) = delete;
    ConnectionScope& operator=(const ConnectionScope&) = delete;

private:
    const StartupSteps& steps_;
    int32_t handle_ = 0;
};

// The process-wide application object for the run; freed after the connection is closed.
class AppServerScope {
public:
    explicit AppServerScope(bool debugMode) : server_(debugMode) { SetAppServer(&server_); }
    ~AppServerScope() { SetAppServer(nullptr); }
    AppServerScope(const AppServerScope&) = delete;
    AppServerScope& operator=(const AppServerScope&) = delete;
    TAppServer& server() { return server_; }

private:
    TAppServer server_;
};

// Installs the window's message boxes for the run and takes them away at its end.
class DialogsScope {
public:
    DialogsScope() { SetDialogs(&dialogs_); }
    ~DialogsScope() { SetDialogs(nullptr); }
    DialogsScope(const DialogsScope&) = delete;
    DialogsScope& operator=(const DialogsScope&) = delete;

private:
    QtDialogs dialogs_;
};

void StartLog(const StartupSteps& steps) {
    try {
        if (steps.initLog)
            steps.initLog();
        else
            InitLog(kLogAppFolder, kLogSettingsName, kLogNameSuffix);
    } catch (const std::exception& error) {
        ShowErrorBox(error.what(), context::kLogInit);
    }
}

std::unique_ptr<QWidget> CreateMainForm(const StartupSteps& steps) {
    return steps.createMainForm ? steps.createMainForm() : std::make_unique<TMainSertForm>();
}

// The main window, its panel and the event loop; returns the loop's exit status.
int RunWindows(const StartupSteps& steps) {
    struct PanelScope {
        ~PanelScope() { FreeSertInfoForm(); }
    } panel;
    std::unique_ptr<QWidget> mainForm = CreateMainForm(steps);
    // Closing the main window ends the run, even while the information panel is open.
    if (auto* form = qobject_cast<TBaseForm*>(mainForm.get()))
        QObject::connect(form, &TBaseForm::closed, qApp, &QCoreApplication::quit);
    const TerminationWatch termination([window = mainForm.get()] {
        QtDialogs::closeAllForEnd();
        window->close();
    });
    mainForm->show();
    return QApplication::exec();
}

} // namespace

int RunProgram(int& argc, char** argv, const StartupSteps& steps) {
    const std::vector<std::string> arguments(argv + std::min(argc, 1), argv + argc);
    AppServerScope appServer(IsDebugSwitch(arguments));
    // From here on the connection is closed however the run ends.
    const ConnectionScope connection(appServer.server(), steps);
    // A host that already runs a Qt application (the tests) lends it.
    std::optional<TApplication> ownApplication;
    if (!QCoreApplication::instance()) {
        ownApplication.emplace(argc, argv);
        InstallRussianTranslation(*ownApplication);
    }
    InstallDesktopIdentity();
    const DialogsScope dialogs;
    StartLog(steps);
    SetApplicationTitle(kApplicationTitle);
    const int status = RunWindows(steps);
    FlushLog();
    return status;
}

} // namespace cq::ui
