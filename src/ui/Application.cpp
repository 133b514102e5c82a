#include "ui/Application.h"

#include "app/AppServer.h"
#include "base/Errors.h"

#include <QLibraryInfo>
#include <QTranslator>

namespace cq::ui {

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        HandleApplicationError(error);
    } catch (...) {
        HandleApplicationError(Exception("Unknown exception"));
    }
    return false;
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
