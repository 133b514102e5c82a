#pragma once
// The program's Qt application object. Every event passes through notify, so an error that
// escapes any slot or event handler is caught there and handed to the application-wide error
// handler (OnApplicationError once the main window has installed it); the event loop goes on.

#include <QApplication>

namespace cq::ui {

class Application : public QApplication {
    Q_OBJECT
public:
    Application(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;
};

/// The name of the program's desktop entry (org.certquorix.CertQuorix.desktop without the
/// suffix) and of its icon in the desktop's icon theme.
inline constexpr const char* kDesktopFileName = "org.certquorix.CertQuorix";

/// Gives every window of the program the application icon in its built-in sizes and tells the
/// desktop which entry the windows belong to (task bar grouping, Wayland application id).
void InstallDesktopIdentity();

/// Makes the form's font the program's default, as every window of the program uses it; menus
/// and tool tips keep the desktop's font. Without it each line edit lays its text out once in the
/// desktop's default font while it is made, and that font is loaded for nothing.
void InstallFormFont();

/// Loads Qt's own texts (the buttons of message boxes and the like) in `language` ("ru", "en",
/// as CatalogLanguage names it), so they speak the language of the program's texts; false when
/// Qt has no translation for it (Debian's qt6-translations-l10n).
bool InstallQtTranslation(QCoreApplication& application, const QString& language);

} // namespace cq::ui
