#pragma once
// Message boxes of the window: the core's Dialogs shown as Qt message boxes, modal to the whole
// application and owned by its active window. Tests answer boxes through setNextAnswer instead
// of a modal loop. Asked from another thread (a busy task's worker), a box opens on the interface
// thread and the caller waits for the answer.

#include "base/Dialogs.h"
#include "base/Translate.h"

#include <QMessageBox>
#include <QPointer>
#include <QString>

#include <functional>

namespace cq::ui {

class QtDialogs final : public Dialogs {
public:
    QtDialogs() = default;
    /// Boxes show again after the run whose end closed them (closeAllForEnd).
    ~QtDialogs() override;
    QtDialogs(const QtDialogs&) = delete;
    QtDialogs& operator=(const QtDialogs&) = delete;

    void showError(const std::string& text, const std::string& caption) override;
    void showWarning(const std::string& text, const std::string& caption) override;
    void showInfo(const std::string& text, const std::string& caption) override;
    bool askYesNo(const std::string& text, const std::string& caption) override;
    /// The default button (what Enter chooses) follows the question.
    bool askYesNoWithDefault(const std::string& text, const std::string& caption,
                             DefaultAnswer defaultAnswer) override;

    /// One box as it was asked for.
    struct Box {
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QString text;
        QString caption;
        QMessageBox::StandardButtons buttons;
        QPointer<QWidget> owner;
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    };

    /// Answers the next box without showing it: the box is recorded (see answeredBoxes),
    /// `whileOpen` runs where the modal loop would run, and `answer` is the button chosen.
    static void setNextAnswer(QMessageBox::StandardButton answer,
                              std::function<void()> whileOpen = {});
    /// The boxes answered through setNextAnswer, oldest first; taking them empties the list.
    static QList<Box> takeAnsweredBoxes();
    /// Forgets answers that no box has taken.
    static void clearNextAnswers();

    /// The program is ending (a termination signal): the boxes that are open close with "No",
    /// and from now on no box is shown; questions are answered "No".
    static void closeAllForEnd();
    /// True from closeAllForEnd to the end of the run.
    static bool programEnding();
};

/// Shows one message box and returns the button chosen. An empty caption becomes the application
/// title. `shown`, when given, points at the box while it is open (so it can be closed).
QMessageBox::StandardButton
ShowMessageBox(const std::string& text, const std::string& caption, QMessageBox::Icon icon,
               QMessageBox::StandardButtons buttons,
               QMessageBox::StandardButton defaultButton = QMessageBox::NoButton,
               QPointer<QMessageBox>* shown = nullptr);

/// Gives a box the font of the window it belongs to (the form's font without one) and at least
/// the width its title needs in the window manager's title bar.
void FitBoxToWindow(QMessageBox& box, const QWidget* owner);

/// The question a busy task asks when the user wants to leave it.
inline constexpr const char* kAbortQuestion = TrMark("Прервать операцию?");

} // namespace cq::ui
