#pragma once
// A line edit that owns its input rules and every route text takes into it. The rules sit in
// its FieldRule (the character set, the width and, for a key's password, the password rule of
// the core); each route meets them here, so no window code filters input:
// - typing: a character outside the set is dropped with the desktop's beep; a full field takes
//   no more;
// - paste (the form's paste action for Ctrl+V and Shift+Insert), the middle button's X11
//   selection and a drop: a text with a refused character is refused whole with an error box,
//   an allowed one goes in as far as the width leaves room;
// - input methods, undo and the accessibility interface: the validator refuses the change.
// A secret field (a password, also while shown in clear) never gives its text away: cut and copy
// do nothing there.

#include "certs/InputRules.h"

#include <QLineEdit>

#include <functional>

namespace cq::ui {

class FieldRule;

class RuleLineEdit : public QLineEdit {
    Q_OBJECT
public:
    enum class Kind { Text, KeyPassword };

    /// An edit for `filter` at most `maxChars` wide (0: no width limit). A KeyPassword edit
    /// takes only the characters a key's password may hold, and is a secret.
    RuleLineEdit(FieldFilter filter, int maxChars, QWidget* parent, Kind kind = Kind::Text);

    /// A key's password: any character the password rule allows, at most its width, masked.
    static RuleLineEdit* makeKeyPassword(QWidget* parent);

    FieldRule* rule() const { return rule_; }

    /// Pastes `text` over the selection through the rules (the paste routes end here).
    void pasteText(const QString& text);

    /// The desktop beep of a refused keystroke (QApplication::beep); tests count the beeps.
    static void setBeeper(std::function<void()> beeper);
    static void beep();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    bool refusesTyped(const QKeyEvent& event);

    FieldRule* rule_;
};

} // namespace cq::ui
