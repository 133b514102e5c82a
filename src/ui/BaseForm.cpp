#include "ui/BaseForm.h"

#include "ui/LinkLabel.h"
#include "ui/RuleLineEdit.h"
#include "ui/SizeLimits.h"

#include <QAbstractScrollArea>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QKeyEvent>
#include <QLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTextDocumentFragment>
#include <QTextEdit>

#include <optional>

namespace cq::ui {
namespace {

const char* const kSecretProperty = "secretText";

// The form's design size.
constexpr int kDesignWidth = 422;
constexpr int kDesignHeight = 180;

// Text inputs of any kind seen through one face: single-line, multi-line and rich text.
class TextInput {
public:
    static std::optional<TextInput> of(QWidget* widget) {
        if (auto* combo = qobject_cast<QComboBox*>(widget))
            widget = combo->lineEdit();
        TextInput input;
        input.line_ = qobject_cast<QLineEdit*>(widget);
        input.text_ = qobject_cast<QTextEdit*>(widget);
        input.plain_ = qobject_cast<QPlainTextEdit*>(widget);
        if (!input.line_ && !input.text_ && !input.plain_)
            return std::nullopt;
        return input;
    }

    bool readOnly() const {
        return line_ ? line_->isReadOnly() : text_ ? text_->isReadOnly() : plain_->isReadOnly();
    }

    // A masked field never gives its text away, nor does a secret shown in clear.
    bool masked() const {
        return line_ && (line_->echoMode() != QLineEdit::Normal || BaseForm::isSecret(line_));
    }

    QString selectedText() const {
        if (line_)
            return line_->selectedText();
        const QTextCursor cursor = text_ ? text_->textCursor() : plain_->textCursor();
        return cursor.selection().toPlainText();
    }

    // A paste into an edit with rules goes through them.
    void paste(const QString& text) {
        if (auto* ruled = qobject_cast<RuleLineEdit*>(line_))
            ruled->pasteText(text);
        else
            replaceSelection(text);
    }

    void replaceSelection(const QString& text) {
        if (line_) {
            line_->insert(text);
        } else if (text_) {
            text_->insertPlainText(text);
        } else {
            plain_->insertPlainText(text);
        }
    }

private:
    QLineEdit* line_ = nullptr;
    QTextEdit* text_ = nullptr;
    QPlainTextEdit* plain_ = nullptr;
};

// A key that types its character: Ctrl and Alt combinations type none.
bool Types(const QKeyEvent& key) {
    return !(key.modifiers() & (Qt::ControlModifier | Qt::AltModifier));
}

bool IsEnter(const QKeyEvent& key) {
    return Types(key) && (key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter);
}

int LimitOrZero(int limit) {
    return limit >= QWIDGETSIZE_MAX ? 0 : limit;
}

void PutOnClipboard(const TextInput& input) {
    const QString selected = input.selectedText();
    // An empty selection or a masked field leaves what the clipboard holds alone.
    if (!selected.isEmpty() && !input.masked())
        QApplication::clipboard()->setText(selected);
}

} // namespace

BaseForm::BaseForm(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setFont(formFont());
    resize(kDesignWidth, kDesignHeight);
    // Each action answers to every key the platform binds to it (Shift+Delete, Ctrl+Insert and
    // Shift+Insert beside the Ctrl letters), so no key reaches a text input's own cut, copy or
    // paste around the form's rules.
    editCut_ = makeEditAction(QStringLiteral("Cu&t"), QKeySequence(Qt::CTRL | Qt::Key_X),
                              QKeySequence(Qt::SHIFT | Qt::Key_Delete), QKeySequence::Cut);
    editCopy_ = makeEditAction(QStringLiteral("&Copy"), QKeySequence(Qt::CTRL | Qt::Key_C),
                               QKeySequence(Qt::CTRL | Qt::Key_Insert), QKeySequence::Copy);
    editPaste_ = makeEditAction(QStringLiteral("&Paste"), QKeySequence(Qt::CTRL | Qt::Key_V),
                                QKeySequence(Qt::SHIFT | Qt::Key_Insert), QKeySequence::Paste);
    // Key preview: the form sees the keys of its controls before they do.
    qApp->installEventFilter(this);
}

BaseForm::~BaseForm() {
    qApp->removeEventFilter(this);
}

QFont BaseForm::formFont() {
    // The program was drawn for an 8-point bitmap sans-serif. Liberation Sans (fonts-liberation)
    // has the widths of the common Windows sans-serif faces, so labels and fields keep their
    // designed proportions; without it fontconfig picks the default sans-serif face.
    QFont font(QStringLiteral("Liberation Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(8);
    return font;
}

void BaseForm::suppressContextMenu(QWidget* control) {
    control->setContextMenuPolicy(Qt::PreventContextMenu);
    if (auto* area = qobject_cast<QAbstractScrollArea*>(control))
        area->viewport()->setContextMenuPolicy(Qt::PreventContextMenu);
}

void BaseForm::markSecret(QLineEdit* edit) {
    edit->setProperty(kSecretProperty, true);
    // On X11 selecting text offers it as the primary selection; a secret shown in clear is
    // taken back from there at once.
    QClipboard* clipboard = QApplication::clipboard();
    if (!clipboard->supportsSelection())
        return;
    QObject::connect(clipboard, &QClipboard::selectionChanged, edit, [edit, clipboard] {
        if (edit->hasFocus() && edit->hasSelectedText() && clipboard->ownsSelection() &&
            clipboard->text(QClipboard::Selection) == edit->selectedText())
            clipboard->clear(QClipboard::Selection);
    });
}

bool BaseForm::isSecret(const QLineEdit* edit) {
    return edit->property(kSecretProperty).toBool();
}

void BaseForm::adjustSizeLimitsToScreen() {
    // A form whose layout fixes its size takes the size its contents need on this screen, at this
    // screen's font size; it has no limits of its own to adjust.
    if (layout() && layout()->sizeConstraint() == QLayout::SetFixedSize)
        return;
    const QScreen* shown = screen();
    const double pixelsPerInch = shown ? shown->logicalDotsPerInch() : 96.0;
    const SizeLimits noted{LimitOrZero(maximumHeight()), minimumHeight(),
                           LimitOrZero(maximumWidth()), minimumWidth()};
    const SizeLimits scaled = ScaleSizeLimits(noted, width(), height(), pixelsPerInch);
    setMinimumSize(scaled.minWidth, scaled.minHeight);
    setMaximumSize(scaled.maxWidth > 0 ? scaled.maxWidth : QWIDGETSIZE_MAX,
                   scaled.maxHeight > 0 ? scaled.maxHeight : QWIDGETSIZE_MAX);
}

bool BaseForm::previewKeyPress(QKeyEvent* key) {
    if (IsEnter(*key)) {
        focusNextChild();
        return true;
    }
    if (key->key() == Qt::Key_Escape && Types(*key)) {
        // Leaving and entering again runs the focused control's exit handling before the close.
        focusNextChild();
        focusPreviousChild();
        modalResult_ = ModalResult::Cancel;
        close();
        return true;
    }
    return false;
}

bool BaseForm::runEditAction(QAction* action) {
    auto input = TextInput::of(QApplication::focusWidget());
    if (!input)
        return false;
    if (action == editCut_) {
        // A secret stays where it is: cut would lose it without putting it anywhere.
        if (input->masked())
            return true;
        PutOnClipboard(*input);
        if (!input->readOnly())
            input->replaceSelection({});
    } else if (action == editCopy_) {
        PutOnClipboard(*input);
    } else if (action == editPaste_) {
        if (!input->readOnly())
            input->paste(QApplication::clipboard()->text());
    } else {
        return false;
    }
    return true;
}

bool BaseForm::eventFilter(QObject* watched, QEvent* event) {
    const bool keyPress = event->type() == QEvent::KeyPress;
    if ((keyPress || event->type() == QEvent::ShortcutOverride) && isOwnKeyEvent(watched)) {
        auto* key = static_cast<QKeyEvent*>(event);
        QWidget* focus = QApplication::focusWidget();
        if (QAction* action = editActionFor(*key); action && TextInput::of(focus)) {
            // The key comes here as a key press instead of through the text input's own
            // shortcut; the action runs, and the input never sees the key.
            event->accept();
            if (keyPress)
                action->trigger();
            return true;
        }
        if (!keyPress)
            return false;
        if (auto* button = qobject_cast<QPushButton*>(focus); button && IsEnter(*key)) {
            button->click(); // a focused button takes Enter as a click of its own
            return true;
        }
        if (auto* link = qobject_cast<LinkLabel*>(focus); link && IsEnter(*key)) {
            link->activate(); // as does a focused link
            return true;
        }
        if (previewKeyPress(key))
            return true;
    }
    return QWidget::eventFilter(watched, event);
}

void BaseForm::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    if (event->isAccepted())
        emit closed();
}

QAction* BaseForm::makeEditAction(const QString& caption, const QKeySequence& shortcut,
                                  const QKeySequence& oldShortcut,
                                  QKeySequence::StandardKey standard) {
    auto* action = new QAction(caption, this);
    QList<QKeySequence> keys = {shortcut, oldShortcut};
    for (const QKeySequence& key : QKeySequence::keyBindings(standard))
        if (!keys.contains(key))
            keys << key;
    action->setShortcuts(keys);
    action->setShortcutContext(Qt::WindowShortcut);
    addAction(action);
    // Without a text input in focus the standard edit actions have nothing to work on.
    connect(action, &QAction::triggered, this, [this, action] { runEditAction(action); });
    return action;
}

bool BaseForm::isOwnKeyEvent(QObject* watched) const {
    const auto* widget = qobject_cast<const QWidget*>(watched);
    if (!widget || !widget->isWidgetType() || widget->window() != this)
        return false;
    // A key travels from the focused control up through its parents; the form looks at it once.
    const QWidget* focus = QApplication::focusWidget();
    return !focus || focus->window() != this || widget == focus;
}

QAction* BaseForm::editActionFor(const QKeyEvent& key) const {
    const QKeySequence pressed(key.keyCombination());
    for (QAction* action : {editCut_, editCopy_, editPaste_}) {
        if (action->shortcuts().contains(pressed))
            return action;
    }
    return nullptr;
}

} // namespace cq::ui
