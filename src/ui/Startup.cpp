#include "ui/Startup.h"

#include "base/Dialogs.h"
#include "log/Log.h"
#include "transport/ProgramSession.h"
#include "ui/Application.h"
#include "ui/CertificateInfoPanel.h"
#include "ui/MainWindow.h"
#include "ui/QtDialogs.h"
#include "ui/TerminationWatch.h"
#include "ui/UiText.h"

#include <optional>
#include <vector>

namespace cq::ui {
namespace {

// Installs the window's message boxes for the run and puts back, at its end, those that were
// there before.
class DialogsScope {
public:
    DialogsScope() : previous_(SetDialogs(&dialogs_)) {}
    ~DialogsScope() { SetDialogs(previous_); }
    DialogsScope(const DialogsScope&) = delete;
    DialogsScope& operator=(const DialogsScope&) = delete;

private:
    QtDialogs dialogs_;
    Dialogs* previous_;
};

// The address of "--email ADDRESS" (or "--email=ADDRESS"), empty without one.
QString StartAddress(const std::vector<std::string>& arguments) {
    for (size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == "--email" && i + 1 < arguments.size())
            return QString::fromStdString(arguments[i + 1]);
        if (arguments[i].starts_with("--email="))
            return QString::fromStdString(arguments[i].substr(8));
    }
    return {};
}

std::unique_ptr<QWidget> CreateMainForm(const StartupSteps& steps) {
    return steps.createMainForm ? steps.createMainForm() : std::make_unique<MainWindow>();
}

// The main window, its panel and the event loop; returns the loop's exit status.
int RunWindows(const StartupSteps& steps, const QString& startAddress) {
    struct PanelScope {
        ~PanelScope() { FreeInformationPanel(); }
    } panel;
    std::unique_ptr<QWidget> theMainWindow = CreateMainForm(steps);
    if (auto* main = qobject_cast<MainWindow*>(theMainWindow.get());
        main && !startAddress.isEmpty())
        main->openOnAddress(startAddress);
    // Closing the main window ends the run, even while the information panel is open.
    if (auto* form = qobject_cast<BaseForm*>(theMainWindow.get()))
        QObject::connect(form, &BaseForm::closed, qApp, &QCoreApplication::quit);
    const TerminationWatch termination([window = theMainWindow.get()] {
        QtDialogs::closeAllForEnd();
        window->close();
    });
    theMainWindow->show();
    return QApplication::exec();
}

} // namespace

int RunProgram(int& argc, char** argv, const StartupSteps& steps) {
    const std::vector<std::string> arguments(argv + std::min(argc, 1), argv + argc);
    // From here on the connection is closed however the run ends.
    ProgramSession session(IsDebugSwitch(arguments), {steps.createConn, steps.closeConn});
    // A host that already runs a Qt application (the tests) lends it.
    std::optional<Application> ownApplication;
    if (!QCoreApplication::instance()) {
        ownApplication.emplace(argc, argv);
        InstallQtTranslation(*ownApplication, CatalogLanguage());
        InstallFormFont();
    }
    InstallDesktopIdentity();
    const DialogsScope dialogs;
    session.startLog(steps.initLog);
    SetApplicationTitle(kApplicationTitle);
    const int status = RunWindows(steps, StartAddress(arguments));
    FlushLog();
    return status;
}

} // namespace cq::ui
