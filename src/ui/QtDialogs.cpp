#include "ui/QtDialogs.h"

#include "ui/BaseForm.h"
#include "ui/BusyTask.h"

#include <QApplication>
#include <QGridLayout>
#include <QSpacerItem>
#include <QThread>

#include <deque>

namespace cq::ui {
namespace {

struct NextAnswer {
    QMessageBox::StandardButton answer;
    std::function<void()> whileOpen;
};

std::deque<NextAnswer>& NextAnswers() {
    static std::deque<NextAnswer> answers;
    return answers;
}

QList<QtDialogs::Box>& AnsweredBoxes() {
    static QList<QtDialogs::Box> boxes;
    return boxes;
}

bool ending = false;

QMessageBox::StandardButton DefaultButton(QMessageBox::StandardButtons buttons) {
    return buttons.testFlag(QMessageBox::Yes) ? QMessageBox::Yes : QMessageBox::Ok;
}

} // namespace

void FitBoxToWindow(QMessageBox& box, const QWidget* owner) {
    box.setFont(owner ? owner->window()->font() : BaseForm::formFont());
    // The window manager draws the title in the desktop's bold font, beside its buttons (about
    // three title heights); a box narrower than that shows its title cut.
    QFont titleFont = QApplication::font();
    titleFont.setBold(true);
    const QFontMetrics title(titleFont);
    const int width = title.horizontalAdvance(box.windowTitle()) + 4 * title.height();
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (!grid)
        return;
    // QMessageBox sizes itself from its layout; a spacer across it keeps the width.
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Minimum),
                  grid->rowCount(), 0, 1, grid->columnCount());
}

QMessageBox::StandardButton ShowMessageBox(const std::string& text, const std::string& caption,
                                           QMessageBox::Icon icon,
                                           QMessageBox::StandardButtons buttons,
                                           QMessageBox::StandardButton defaultButton,
                                           QPointer<QMessageBox>* shown) {
    if (defaultButton == QMessageBox::NoButton)
        defaultButton = DefaultButton(buttons);
    if (ending)
        return QMessageBox::No;
    // Asked from a busy task's worker: the box opens on the interface thread and the worker
    // waits for the answer.
    if (QThread::currentThread() != qApp->thread()) {
        QMessageBox::StandardButton answer = QMessageBox::NoButton;
        RunOnInterfaceThread(
            [&] { answer = ShowMessageBox(text, caption, icon, buttons, defaultButton, shown); });
        return answer;
    }
    NormalCursorWhileBusy normalCursor;
    QtDialogs::Box box{icon,
                       QString::fromStdString(text),
                       QString::fromStdString(caption.empty() ? ApplicationTitle() : caption),
                       buttons,
                       QApplication::activeWindow(),
                       defaultButton};
    if (!NextAnswers().empty()) {
        NextAnswer next = std::move(NextAnswers().front());
        NextAnswers().pop_front();
        AnsweredBoxes().push_back(box);
        if (next.whileOpen)
            next.whileOpen();
        return next.answer;
    }
    QMessageBox message(box.icon, box.caption, box.text, box.buttons, box.owner);
    FitBoxToWindow(message, box.owner);
    message.setWindowModality(Qt::ApplicationModal);
    message.setDefaultButton(defaultButton);
    if (shown)
        *shown = &message;
    return static_cast<QMessageBox::StandardButton>(message.exec());
}

QtDialogs::~QtDialogs() {
    ending = false;
}

void QtDialogs::showError(const std::string& text, const std::string& caption) {
    ShowMessageBox(text, caption, QMessageBox::Critical, QMessageBox::Ok);
}

void QtDialogs::showWarning(const std::string& text, const std::string& caption) {
    ShowMessageBox(text, caption, QMessageBox::Warning, QMessageBox::Ok);
}

void QtDialogs::showInfo(const std::string& text, const std::string& caption) {
    ShowMessageBox(text, caption, QMessageBox::Information, QMessageBox::Ok);
}

bool QtDialogs::askYesNo(const std::string& text, const std::string& caption) {
    return ShowMessageBox(text, caption, QMessageBox::Question,
                          QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

bool QtDialogs::askYesNoWithDefault(const std::string& text, const std::string& caption,
                                    DefaultAnswer defaultAnswer) {
    const auto defaultButton =
        defaultAnswer == DefaultAnswer::No ? QMessageBox::No : QMessageBox::Yes;
    return ShowMessageBox(text, caption, QMessageBox::Question, QMessageBox::Yes | QMessageBox::No,
                          defaultButton) == QMessageBox::Yes;
}

void QtDialogs::setNextAnswer(QMessageBox::StandardButton answer, std::function<void()> whileOpen) {
    NextAnswers().push_back({answer, std::move(whileOpen)});
}

QList<QtDialogs::Box> QtDialogs::takeAnsweredBoxes() {
    return std::exchange(AnsweredBoxes(), {});
}

void QtDialogs::clearNextAnswers() {
    NextAnswers().clear();
}

bool QtDialogs::programEnding() {
    return ending;
}

void QtDialogs::closeAllForEnd() {
    ending = true;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(window); box && box->isVisible())
            box->done(QMessageBox::No);
        else if (auto* dialog = qobject_cast<QDialog*>(window); dialog && dialog->isVisible())
            dialog->reject();
    }
}

} // namespace cq::ui
