#pragma once
// The input rules of one edit held at the edit itself: a validator that refuses every change
// that would put a character outside the field's set into it or make it longer than its width.
// QLineEdit asks its validator on every route text takes into the field (typing, paste, drop,
// the X11 selection, input methods, undo and the accessibility interface), and puts the former
// text back when the validator refuses, so no route can go around the rules.
//
// A key's password takes only the characters the core's password rule allows (those of
// Windows-1251, the code page the key's password is written in).
//
// A value the program itself puts in (from the settings file) is shown in full even when it is
// longer than the width or holds a refused character (setProgramText); the user can then only
// shorten it or add allowed characters up to the width.

#include "certs/InputRules.h"

#include <QValidator>

#include <functional>
#include <optional>
#include <string>

class QLineEdit;

namespace cq::ui {

class FieldRule : public QValidator {
    Q_OBJECT
public:
    /// Puts the rule on `edit` (which owns it). `maxChars` 0 means no width limit; a
    /// `keyPassword` field holds the password rule's characters only.
    FieldRule(QLineEdit* edit, FieldFilter filter, int maxChars, bool keyPassword = false);

    /// The rule of an edit, or nullptr when it has none.
    static FieldRule* of(const QLineEdit* edit);

    /// Sets the edit's text past the rules (the program's own values).
    static void setProgramText(QLineEdit* edit, const QString& text);

    FieldFilter filter() const { return filter_; }
    int maxChars() const { return maxChars_; }

    /// How many characters a paste may still put in (the selection is replaced).
    int roomLeft() const;

    /// True when a typed character may enter the field (Backspace always may).
    bool typedCharPasses(char32_t typed) const;
    /// The error text for a pasted text the field refuses whole, or nothing.
    std::optional<std::string> pasteRefusal(const QString& text) const;

    /// Called when a change is refused for a character outside the set (the window beeps).
    void setOnRefusedCharacter(std::function<void()> onRefused) {
        onRefused_ = std::move(onRefused);
    }

    State validate(QString& input, int& pos) const override;

private:
    enum class Refusal { None, Character, Length };
    Refusal refusal(const QString& input) const;
    bool charactersPass(const QString& text) const;
    void textChanged(const QString& text);

    QLineEdit* edit_;
    FieldFilter filter_;
    int maxChars_;
    bool keyPassword_;
    QString accepted_; ///< the edit's text after its last change
    bool programText_ = false;
    bool restoring_ = false;
    std::function<void()> onRefused_;
};

/// The number of characters (code points) of a text.
int CharacterCount(const QString& text);
/// The first `count` characters (code points) of a text.
QString LeftCharacters(const QString& text, int count);

} // namespace cq::ui
