#include "ui/BusyTask.h"

#include "base/Cancellation.h"
#include "ui/QtDialogs.h"

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QKeyEvent>
#include <QPointer>
#include <QSet>
#include <QThread>
#include <QWidget>
#include <QWindow>

#include <atomic>
#include <thread>

namespace cq::ui {
namespace {

bool IsInterfaceThread() {
    return qApp != nullptr && QThread::currentThread() == qApp->thread();
}

bool IsUserInput(const QEvent& event) {
    switch (event.type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonRelease:
    case QEvent::NonClientAreaMouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::ToolTip:
    case QEvent::WhatsThis:
    case QEvent::InputMethod:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::TabletMove:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
    case QEvent::NativeGesture:
        return true;
    default:
        return false;
    }
}

bool IsEscape(const QEvent& event) {
    if (event.type() != QEvent::KeyPress)
        return false;
    const auto& key = static_cast<const QKeyEvent&>(event);
    return key.key() == Qt::Key_Escape && key.modifiers() == Qt::NoModifier;
}

int busyDepth = 0;

// The question to a user who wants to leave the work (Esc or the close button): open at most
// once; "Yes" asks the work to stop, which ends it as a failure that rolls back.
void AskToAbort();

QPointer<QMessageBox> abortQuestion;
bool abortQuestionAsked = false; // from the key or close until the answer

void AskToAbortLater() {
    if (abortQuestionAsked)
        return; // one key travels through several receivers; one question is enough
    abortQuestionAsked = true;
    QMetaObject::invokeMethod(qApp, AskToAbort, Qt::QueuedConnection);
}

void AskToAbort() {
    if (busyDepth == 0) {
        abortQuestionAsked = false;
        return;
    }
    const QMessageBox::StandardButton answer =
        ShowMessageBox(Tr(kAbortQuestion), {}, QMessageBox::Question,
                       QMessageBox::Yes | QMessageBox::No, QMessageBox::No, &abortQuestion);
    abortQuestionAsked = false;
    if (answer == QMessageBox::Yes && busyDepth > 0)
        RequestCancel();
}

// Work that ended while the question was open needs no answer any more.
void CloseAbortQuestion() {
    if (abortQuestion)
        abortQuestion->done(QMessageBox::No);
}

// Swallows the user's input to the windows that were on screen when the work began. Painting,
// timers and everything the program posts to itself pass. Esc and the close button ask whether
// to leave the work.
class InputBlocker final : public QObject {
public:
    InputBlocker() {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (!window->isVisible())
                continue;
            blocked_.insert(window);
            if (window->windowHandle() != nullptr)
                blocked_.insert(window->windowHandle());
        }
        qApp->installEventFilter(this);
    }
    ~InputBlocker() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject* receiver, QEvent* event) override {
        // Once the program ends (a termination signal) its windows close whatever they wait for.
        const bool closeByUser =
            event->type() == QEvent::Close && event->spontaneous() && !QtDialogs::programEnding();
        if (!closeByUser && !IsUserInput(*event))
            return false;
        if (!IsBlocked(receiver))
            return false;
        if (closeByUser || IsEscape(*event))
            AskToAbortLater();
        event->ignore();
        return true;
    }

private:
    bool IsBlocked(QObject* receiver) const {
        if (receiver->isWidgetType())
            return blocked_.contains(static_cast<QWidget*>(receiver)->window());
        return receiver->isWindowType() && blocked_.contains(receiver);
    }

    QSet<QObject*> blocked_;
};

// Busy state of the interface thread: the outermost task installs the input filter and starts
// with the stop request lowered, every task pushes the wait cursor.
InputBlocker* inputBlocker = nullptr;

class BusyState {
public:
    BusyState() {
        if (busyDepth++ == 0) {
            ClearCancel();
            inputBlocker = new InputBlocker;
        }
        QApplication::setOverrideCursor(Qt::WaitCursor);
    }
    ~BusyState() {
        QApplication::restoreOverrideCursor();
        if (--busyDepth == 0) {
            delete inputBlocker;
            inputBlocker = nullptr;
        }
    }
    BusyState(const BusyState&) = delete;
    BusyState& operator=(const BusyState&) = delete;
};

} // namespace

void RunBusyTask(const std::function<void()>& work) {
    if (!IsInterfaceThread()) {
        work();
        return;
    }
    BusyState busy;
    QEventLoop loop;
    std::atomic<bool> done = false;
    std::exception_ptr failure;
    {
        std::jthread worker([&] {
            try {
                work();
            } catch (...) {
                failure = std::current_exception();
            }
            done = true;
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
            QMetaObject::invokeMethod(qApp, CloseAbortQuestion, Qt::QueuedConnection);
        });
        // Events posted before the loop runs are delivered inside it; `done` covers a worker
        // that ended before exec began. Once the application quits, exec returns at once: the
        // events the worker posts (its boxes, its end) are then taken as they come.
        while (!done) {
            loop.exec();
            if (!done)
                loop.processEvents(QEventLoop::WaitForMoreEvents);
        }
    }
    if (failure)
        std::rethrow_exception(failure);
}

bool BusyTaskRunning() {
    return busyDepth > 0;
}

void RunOnInterfaceThread(const std::function<void()>& action) {
    if (qApp == nullptr || IsInterfaceThread()) {
        action();
        return;
    }
    std::exception_ptr failure;
    QMetaObject::invokeMethod(
        qApp,
        [&] {
            try {
                action();
            } catch (...) {
                failure = std::current_exception();
            }
        },
        Qt::BlockingQueuedConnection);
    if (failure)
        std::rethrow_exception(failure);
}

NormalCursorWhileBusy::NormalCursorWhileBusy() {
    if (IsInterfaceThread() && BusyTaskRunning()) {
        QApplication::setOverrideCursor(Qt::ArrowCursor);
        pushed_ = true;
    }
}

NormalCursorWhileBusy::~NormalCursorWhileBusy() {
    if (pushed_)
        QApplication::restoreOverrideCursor();
}

} // namespace cq::ui
