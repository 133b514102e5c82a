#include "ui/FieldRule.h"

#include <QLineEdit>

namespace cq::ui {
namespace {

// The part of `after` that a change of `before` put in: what lies between the longest common
// start and the longest common end. Every character that was not in `before` lies in it.
QString InsertedPart(const QString& before, const QString& after) {
    const qsizetype shorter = std::min(before.size(), after.size());
    qsizetype head = 0;
    while (head < shorter && before[head] == after[head])
        ++head;
    qsizetype tail = 0;
    while (tail < shorter - head &&
           before[before.size() - 1 - tail] == after[after.size() - 1 - tail])
        ++tail;
    return after.mid(head, after.size() - head - tail);
}

} // namespace

int CharacterCount(const QString& text) {
    int count = 0;
    for (const QChar c : text)
        count += c.isLowSurrogate() ? 0 : 1;
    return count;
}

QString LeftCharacters(const QString& text, int count) {
    qsizetype end = 0;
    for (int taken = 0; end < text.size() && taken < count; ++taken)
        end += text[end].isHighSurrogate() && end + 1 < text.size() ? 2 : 1;
    return text.left(end);
}

FieldRule::FieldRule(QLineEdit* edit, FieldFilter filter, int maxChars, bool keyPassword)
    : QValidator(edit), edit_(edit), filter_(filter), maxChars_(maxChars),
      keyPassword_(keyPassword), accepted_(edit->text()) {
    edit->setValidator(this);
    connect(edit, &QLineEdit::textChanged, this,
            [this](const QString& text) { textChanged(text); });
}

// The net under the validator: a setText that is not the program's own (the accessibility
// interface's insertText sets the whole text) and breaks the rules is undone at once.
void FieldRule::textChanged(const QString& text) {
    if (restoring_)
        return;
    if (!programText_ && refusal(text) != Refusal::None) {
        restoring_ = true;
        edit_->setText(accepted_);
        restoring_ = false;
        return;
    }
    accepted_ = text;
}

FieldRule* FieldRule::of(const QLineEdit* edit) {
    return edit ? qobject_cast<FieldRule*>(const_cast<QValidator*>(edit->validator())) : nullptr;
}

void FieldRule::setProgramText(QLineEdit* edit, const QString& text) {
    FieldRule* rule = of(edit);
    if (rule)
        rule->programText_ = true;
    edit->setText(text);
    if (rule)
        rule->programText_ = false;
}

int FieldRule::roomLeft() const {
    if (maxChars_ <= 0)
        return std::numeric_limits<int>::max();
    return std::max(0, maxChars_ - CharacterCount(edit_->text()) +
                           CharacterCount(edit_->selectedText()));
}

// What the core's password rule says of one character on its own: only a character outside
// Windows-1251 is refused (a one-character password is neither empty nor too long).
static std::optional<std::string> PasswordCharacterRefusal(char32_t c) {
    return PasswordRefusal(QString::fromUcs4(&c, 1).toStdString());
}

// The first character of `text` a key's password may not hold, with the rule's reason.
static std::optional<std::string> FirstPasswordRefusal(const QString& text) {
    for (const uint c : text.toUcs4()) {
        if (auto refusal = PasswordCharacterRefusal(static_cast<char32_t>(c)))
            return refusal;
    }
    return std::nullopt;
}

bool FieldRule::charactersPass(const QString& text) const {
    if (!FitsFilter(filter_, text.toStdString()))
        return false;
    return !keyPassword_ || !FirstPasswordRefusal(text);
}

bool FieldRule::typedCharPasses(char32_t typed) const {
    if (!TypedCharPasses(filter_, typed))
        return false;
    return typed == 8 || charactersPass(QString::fromUcs4(&typed, 1));
}

std::optional<std::string> FieldRule::pasteRefusal(const QString& text) const {
    if (auto refusal = PasteRefusal(filter_, text.toStdString()))
        return refusal;
    return keyPassword_ ? FirstPasswordRefusal(text) : std::nullopt;
}

FieldRule::Refusal FieldRule::refusal(const QString& input) const {
    if (!charactersPass(InsertedPart(accepted_, input)))
        return Refusal::Character;
    // A longer value the program put in may be shortened, never lengthened.
    const int length = CharacterCount(input);
    if (maxChars_ > 0 && length > maxChars_ && length >= CharacterCount(accepted_) &&
        input != accepted_)
        return Refusal::Length;
    return Refusal::None;
}

QValidator::State FieldRule::validate(QString& input, int&) const {
    if (programText_)
        return Acceptable;
    const Refusal why = refusal(input);
    if (why == Refusal::Character && onRefused_)
        onRefused_();
    return why == Refusal::None ? Acceptable : Invalid;
}

} // namespace cq::ui
