#include "ui/Mnemonics.h"

#include <QAbstractButton>
#include <QLabel>
#include <QShortcut>

namespace cq::ui {
namespace {

// The mnemonic letter of a caption ("&Логин" gives "л"), or 0.
char16_t MnemonicOf(const QString& caption) {
    for (qsizetype i = 0; i + 1 < caption.size(); ++i) {
        if (caption[i] != QLatin1Char('&'))
            continue;
        if (caption[i + 1] != QLatin1Char('&'))
            return caption[i + 1].toLower().unicode();
        ++i; // "&&" is an ampersand
    }
    return 0;
}

// What the control's own mnemonic does: a label hands the focus to its field, a button takes
// the focus and is pressed (unless the key is ambiguous, when it only takes the focus).
void RunMnemonic(QWidget* control, bool ambiguous) {
    if (auto* label = qobject_cast<QLabel*>(control)) {
        if (QWidget* buddy = label->buddy(); buddy && buddy->isEnabled())
            buddy->setFocus(Qt::ShortcutFocusReason);
        return;
    }
    auto* button = qobject_cast<QAbstractButton*>(control);
    if (!button || !button->isEnabled())
        return;
    button->setFocus(Qt::ShortcutFocusReason);
    if (!ambiguous)
        button->click();
}

void AddTwin(QWidget* control, const QString& caption) {
    const int latin = LatinKeyOf(MnemonicOf(caption));
    if (latin == 0)
        return;
    auto* twin = new QShortcut(QKeySequence(Qt::ALT | static_cast<Qt::Key>(latin)), control);
    twin->setContext(Qt::WindowShortcut);
    QObject::connect(twin, &QShortcut::activated, control,
                     [control] { RunMnemonic(control, false); });
    QObject::connect(twin, &QShortcut::activatedAmbiguously, control,
                     [control] { RunMnemonic(control, true); });
}

} // namespace

int LatinKeyOf(char16_t cyrillic) {
    static const QString russian = QStringLiteral("йцукенгшщзхъфывапролджэячсмитьбю");
    static const char latin[] = "QWERTYUIOP[]ASDFGHJKL;'ZXCVBNM,.";
    const qsizetype at = russian.indexOf(QChar(cyrillic));
    return at < 0 ? 0 : latin[at];
}

void AddLatinMnemonics(QWidget* window) {
    for (QLabel* label : window->findChildren<QLabel*>()) {
        if (label->buddy())
            AddTwin(label, label->text());
    }
    for (QAbstractButton* button : window->findChildren<QAbstractButton*>())
        AddTwin(button, button->text());
}

} // namespace cq::ui
