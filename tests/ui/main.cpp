// Runs the window tests: all classes, or the one named by the first argument (the remaining
// arguments go to QTest).
#include "UiTestSupport.h"

#include "base/Dialogs.h"
#include "base/Translate.h"
#include "provider/Pkcs11Probe.h"
#include "ui/Application.h"
#include "ui/Mnemonics.h"
#include "ui/UiText.h"

#include <QAbstractButton>
#include <QLabel>
#include <QMap>
#include <QTest>

#include <iostream>

namespace cq::ui::test {

std::map<QString, TestFactory>& TestClasses() {
    static std::map<QString, TestFactory> classes;
    return classes;
}

bool ShowActive(QWidget& window) {
    window.show();
    window.activateWindow();
    return QTest::qWaitForWindowActive(&window);
}

void UseTestLanguage(const char* lang) {
    for (const char* variable : {"LANGUAGE", "LC_ALL", "LC_MESSAGES"})
        qunsetenv(variable);
    qputenv("LANG", lang);
    UseUserLanguage(CQ_BINARY_DIR "/locale");
}

// The keys of the shown controls' mnemonics that more than one control answers to: a Cyrillic
// mnemonic also takes the Latin key under it.
QStringList SharedMnemonics(QWidget& window) {
    QMap<int, QStringList> owners;
    const auto note = [&owners](QWidget* control, const QString& caption) {
        const qsizetype at = caption.indexOf(QLatin1Char('&'));
        if (!control->isVisible() || at < 0 || at + 1 >= caption.size())
            return;
        const QChar letter = caption[at + 1].toLower();
        const int key =
            letter.unicode() < 128 ? letter.toUpper().unicode() : LatinKeyOf(letter.unicode());
        owners[key] << control->objectName();
    };
    for (QLabel* label : window.findChildren<QLabel*>())
        if (label->buddy())
            note(label, label->text());
    for (QAbstractButton* button : window.findChildren<QAbstractButton*>())
        note(button, button->text());
    QStringList shared;
    for (auto owner = owners.cbegin(); owner != owners.cend(); ++owner)
        if (owner.value().size() > 1)
            shared << owner.value().join(QLatin1Char('/'));
    return shared;
}

QList<QtDialogs::Box> TakeBoxes() {
    QtDialogs::clearNextAnswers();
    return QtDialogs::takeAnsweredBoxes();
}

} // namespace cq::ui::test

int main(int argc, char** argv) {
    // The tests speak the program's own Russian texts unless a test picks a language (the
    // catalogs are the build tree's).
    cq::ui::test::UseTestLanguage("C");
    cq::ui::Application application(argc, argv);
    application.setAttribute(Qt::AA_DontUseNativeDialogs);
    if (!cq::ui::InstallQtTranslation(application, cq::ui::CatalogLanguage()))
        std::cerr << "Qt's Russian translation is missing (qt6-translations-l10n)\n";
    cq::ui::QtDialogs dialogs;
    cq::SetDialogs(&dialogs);
    // The tests put the program folder in temporary folders: the module probe is the built one.
    cq::provider::SetPkcs11ProbeProgram(CQ_BINARY_DIR "/certquorix-pkcs11-probe");

    QStringList arguments = application.arguments();
    const auto& classes = cq::ui::test::TestClasses();
    QStringList selected;
    if (arguments.size() > 1 && classes.count(arguments.at(1))) {
        selected << arguments.takeAt(1);
    } else {
        for (const auto& entry : classes)
            selected << entry.first;
    }
    int failures = 0;
    for (const QString& name : selected) {
        const auto test = classes.at(name)();
        failures += QTest::qExec(test.get(), arguments);
    }
    cq::SetDialogs(nullptr);
    return failures == 0 ? 0 : 1;
}
