#pragma once
// The program's Qt application object. Every event passes through notify, so an error that
// escapes any slot or event handler is caught there and handed to the application-wide error
// handler (OnApplicationError once the main window has installed it); the event loop goes on.

#include <QApplication>

namespace cq::ui {

class TApplication : public QApplication {
    Q_OBJECT
public:
    TApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;
};

/// Loads Qt's own Russian texts (the buttons of message boxes and the like); false when the
/// translation files are missing.
bool InstallRussianTranslation(QCoreApplication& application);

} // namespace cq::ui
