#include "ui/RuleLineEdit.h"

#include "base/Dialogs.h"
#include "ui/BaseForm.h"
#include "ui/FieldRule.h"

#include <QApplication>
#include <QClipboard>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>

namespace cq::ui {
namespace {

std::function<void()>& Beeper() {
    static std::function<void()> beeper;
    return beeper;
}

// Control characters other than Backspace are editing keys, not typed text.
bool IsTypedCharacter(char32_t typed) {
    return typed >= 32 && typed != 127;
}

} // namespace

RuleLineEdit::RuleLineEdit(FieldFilter filter, int maxChars, QWidget* parent, Kind kind)
    : QLineEdit(parent), rule_(new FieldRule(this, filter, maxChars, kind == Kind::KeyPassword)) {
    rule_->setOnRefusedCharacter(beep);
    if (kind == Kind::KeyPassword) {
        setEchoMode(QLineEdit::Password);
        BaseForm::markSecret(this);
    }
}

RuleLineEdit* RuleLineEdit::makeKeyPassword(QWidget* parent) {
    return new RuleLineEdit(FieldFilter::None, static_cast<int>(edit_width::kPassword), parent,
                            Kind::KeyPassword);
}

void RuleLineEdit::setBeeper(std::function<void()> beeper) {
    Beeper() = std::move(beeper);
}

void RuleLineEdit::beep() {
    if (Beeper())
        Beeper()();
    else
        QApplication::beep();
}

void RuleLineEdit::pasteText(const QString& text) {
    if (isReadOnly())
        return;
    if (const std::optional<std::string> refusal = rule_->pasteRefusal(text)) {
        ShowErrorBox(*refusal);
        return;
    }
    // What does not fit is left out, as a field with a length limit does with any paste.
    insert(LeftCharacters(text, rule_->roomLeft()));
}

bool RuleLineEdit::refusesTyped(const QKeyEvent& event) {
    const char32_t typed = event.text().toUcs4().value(0);
    if (!IsTypedCharacter(typed) || event.modifiers() & (Qt::ControlModifier | Qt::AltModifier))
        return false;
    if (rule_->roomLeft() == 0)
        return true; // the edit is full: the keystroke goes nowhere, as with any length limit
    if (rule_->typedCharPasses(typed))
        return false;
    beep();
    return true;
}

void RuleLineEdit::keyPressEvent(QKeyEvent* event) {
    const bool givesTextAway =
        event->matches(QKeySequence::Cut) || event->matches(QKeySequence::Copy) ||
        (event->modifiers() == Qt::ShiftModifier && event->key() == Qt::Key_Delete);
    if (givesTextAway && BaseForm::isSecret(this)) {
        event->accept();
        return;
    }
    if (event->matches(QKeySequence::Paste) ||
        (event->modifiers() == Qt::ShiftModifier && event->key() == Qt::Key_Insert)) {
        event->accept();
        pasteText(QApplication::clipboard()->text());
        return;
    }
    if (refusesTyped(*event)) {
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void RuleLineEdit::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::MiddleButton)
        return QLineEdit::mouseReleaseEvent(event);
    event->accept();
    QClipboard* clipboard = QApplication::clipboard();
    if (clipboard->supportsSelection())
        pasteText(clipboard->text(QClipboard::Selection));
}

void RuleLineEdit::dropEvent(QDropEvent* event) {
    if (event->mimeData()->hasText()) {
        setFocus();
        pasteText(event->mimeData()->text());
    }
    event->setDropAction(Qt::CopyAction); // the dragged text stays where it came from
    event->accept();
}

} // namespace cq::ui
