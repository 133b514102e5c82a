#include "ui/Application.h"

#include "app/AppServer.h"
#include "base/Errors.h"

#include <QIcon>
#include <QLibraryInfo>
#include <QTranslator>

// The compiled-in application icon (resources/desktop/icons.qrc) lives in this static library;
// it is registered before the icon is made from it.
static void RegisterIconResources() {
    static const bool registered = [] {
        Q_INIT_RESOURCE(icons);
        return true;
    }();
    (void)registered;
}

namespace cq::ui {

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {}

bool Application::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        HandleApplicationError(error);
    } catch (...) {
        HandleApplicationError(Exception("Unknown exception"));
    }
    return false;
}

void InstallDesktopIdentity() {
    RegisterIconResources();
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/%1x%1.png").arg(size));
    QApplication::setWindowIcon(icon);
    QGuiApplication::setDesktopFileName(QString::fromLatin1(kDesktopFileName));
}

bool InstallRussianTranslation(QCoreApplication& application) {
    auto* translator = new QTranslator(&application);
    if (!translator->load(QLocale(QLocale::Russian, QLocale::Russia), QStringLiteral("qtbase"),
                          QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

} // namespace cq::ui
