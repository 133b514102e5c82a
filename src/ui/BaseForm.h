#pragma once
// The form both windows of the program derive from: a common font and frame, Enter that moves
// to the next control, Escape that closes the form, cut/copy/paste of its own on text inputs,
// an empty context menu for the controls that must not show one, and size limits adjusted to
// the screen's pixels per inch.

#include <QKeySequence>
#include <QWidget>

class QAction;
class QKeyEvent;
class QLineEdit;

namespace cq::ui {

class BaseForm : public QWidget {
    Q_OBJECT
public:
    enum class ModalResult { None, Cancel };

    explicit BaseForm(QWidget* parent = nullptr);
    ~BaseForm() override;

    ModalResult modalResult() const { return modalResult_; }

    /// The standard edit actions (Ctrl+X or Shift+Delete, Ctrl+C or Ctrl+Insert, Ctrl+V or
    /// Shift+Insert); runEditAction runs for them.
    QAction* cutAction() const { return editCut_; }
    QAction* copyAction() const { return editCopy_; }
    QAction* pasteAction() const { return editPaste_; }

    /// Gives `control` the empty context menu: a right click on it shows nothing.
    static void suppressContextMenu(QWidget* control);

    /// Marks a field whose text is a secret: it never reaches the clipboard or the X11 selection,
    /// also while it is shown in clear.
    static void markSecret(QLineEdit* edit);
    static bool isSecret(const QLineEdit* edit);

    /// The form's font: a sans-serif face at 8 points (see BaseForm.cpp for the choice).
    static QFont formFont();

signals:
    /// The form was closed (and is now hidden).
    void closed();

protected:
    /// The common start; derived forms call it at the end of their constructors, once their
    /// size and limits are set.
    void adjustSizeLimitsToScreen();

    /// The form's preview of a typed key, before the focused control sees it. Returns true when
    /// the key is consumed. Derived forms that handle keys of their own call it afterwards.
    virtual bool previewKeyPress(QKeyEvent* key);

    /// Runs instead of a standard edit action when a text input has the focus. Returns true
    /// when it handled the action (the control's own cut, copy or paste does not run then).
    virtual bool runEditAction(QAction* action);

    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QAction* makeEditAction(const QString& caption, const QKeySequence& shortcut,
                            const QKeySequence& oldShortcut, QKeySequence::StandardKey standard);
    bool isOwnKeyEvent(QObject* watched) const;
    QAction* editActionFor(const QKeyEvent& key) const;

    ModalResult modalResult_ = ModalResult::None;
    QAction* editCut_ = nullptr;
    QAction* editCopy_ = nullptr;
    QAction* editPaste_ = nullptr;
};

} // namespace cq::ui
