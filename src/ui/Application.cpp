#include "ui/Application.h"

#include "app/AppServer.h"
#include "base/Errors.h"

#include "ui/BaseForm.h"

#include <QIcon>
#include <QLibraryInfo>
#include <QScreen>
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

namespace {

// The largest window icon worth handing over: a task switcher's size at the screen's scale.
// Every size given is decoded at once and kept (and on X11 copied into each window's icon
// property); larger views take the desktop entry's icon from the icon theme.
int LargestWindowIconSize() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return qRound(64 * (screen ? screen->devicePixelRatio() : 1.0));
}

} // namespace

void InstallDesktopIdentity() {
    RegisterIconResources();
    QIcon icon;
    const int largest = LargestWindowIconSize();
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256})
        if (size <= largest)
            icon.addFile(QStringLiteral(":/icons/%1x%1.png").arg(size));
    QApplication::setWindowIcon(icon);
    QGuiApplication::setDesktopFileName(QString::fromLatin1(kDesktopFileName));
}

void InstallFormFont() {
    const QFont system = QApplication::font();
    QApplication::setFont(BaseForm::formFont());
    QApplication::setFont(system, "QMenu");
    QApplication::setFont(system, "QTipLabel");
}

bool InstallQtTranslation(QCoreApplication& application, const QString& language) {
    auto* translator = new QTranslator(&application);
    if (!translator->load(QStringLiteral("qtbase_") + language,
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

} // namespace cq::ui
