// Work off the interface thread: the window keeps painting, takes no input, shows the wait
// cursor, and results, errors and message boxes come back on the interface thread.
#include "UiTestSupport.h"

#include "base/Dialogs.h"
#include "ui/BusyTask.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

#include <chrono>
#include <stdexcept>
#include <thread>

using namespace cq::ui;
using namespace std::chrono_literals;

namespace {

class PaintCounter : public QWidget {
public:
    int paints = 0;

protected:
    void paintEvent(QPaintEvent*) override { ++paints; }
};

struct Window {
    QWidget window;
    PaintCounter* canvas = new PaintCounter;
    QLineEdit* edit = new QLineEdit;
    QPushButton* button = new QPushButton(QStringLiteral("Отправить"));
    int clicks = 0;

    Window() {
        auto* layout = new QVBoxLayout(&window);
        canvas->setMinimumSize(40, 40);
        layout->addWidget(canvas);
        layout->addWidget(edit);
        layout->addWidget(button);
        QObject::connect(button, &QPushButton::clicked, [this] { ++clicks; });
    }
};

Qt::CursorShape CurrentOverrideCursor() {
    const QCursor* cursor = QApplication::overrideCursor();
    return cursor == nullptr ? Qt::ArrowCursor : cursor->shape();
}

class TestError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace

class TestBusyTask : public QObject {
    Q_OBJECT
private slots:
    void init() { test::TakeBoxes(); }

    void windowPaintsButTakesNoInputWhileWorking() {
        Window ui;
        QVERIFY(test::ShowActive(ui.window));
        ui.edit->setFocus();

        int paintsDuringWork = 0;
        Qt::CursorShape cursorDuringWork = Qt::ArrowCursor;
        QLineEdit later; // a window opened meanwhile (as a box would be) takes input
        QTimer repaint;
        QObject::connect(&repaint, &QTimer::timeout, [&] { ui.canvas->update(); });
        repaint.start(20);
        QTimer::singleShot(150, [&] {
            cursorDuringWork = CurrentOverrideCursor();
            QTest::keyClicks(ui.edit, QStringLiteral("abc"));
            QTest::mouseClick(ui.button, Qt::LeftButton);
            QTest::keyClick(&ui.window, Qt::Key_Escape);
            later.show();
            QTest::keyClicks(&later, QStringLiteral("xyz"));
        });
        const int paintsBefore = ui.canvas->paints;
        const int result = RunBusy([&] {
            std::this_thread::sleep_for(500ms);
            return 42;
        });
        paintsDuringWork = ui.canvas->paints - paintsBefore;
        repaint.stop();

        QCOMPARE(result, 42);
        QVERIFY2(paintsDuringWork > 0, "the window did not repaint during the work");
        QCOMPARE(cursorDuringWork, Qt::WaitCursor);
        QCOMPARE(ui.edit->text(), QString());
        QCOMPARE(ui.clicks, 0);
        QVERIFY(ui.window.isVisible());
        QCOMPARE(later.text(), QStringLiteral("xyz"));

        // Afterwards the cursor is back and input reaches the window again.
        QCOMPARE(QApplication::overrideCursor(), nullptr);
        QVERIFY(!BusyTaskRunning());
        QTest::keyClicks(ui.edit, QStringLiteral("ok"));
        QTest::mouseClick(ui.button, Qt::LeftButton);
        QCOMPARE(ui.edit->text(), QStringLiteral("ok"));
        QCOMPARE(ui.clicks, 1);
    }

    void errorComesBackOnTheInterfaceThread() {
        QThread* workThread = nullptr;
        try {
            RunBusy([&]() -> int {
                workThread = QThread::currentThread();
                throw TestError("Нет связи с сервером");
            });
            QFAIL("the error was lost");
        } catch (const TestError& error) {
            QCOMPARE(QThread::currentThread(), qApp->thread());
            QCOMPARE(QString::fromUtf8(error.what()), QStringLiteral("Нет связи с сервером"));
            QCOMPARE(QApplication::overrideCursor(), nullptr);
            QVERIFY(!BusyTaskRunning());
        }
        QVERIFY(workThread != nullptr);
        QVERIFY(workThread != qApp->thread());
    }

    void boxesAskedByTheWorkerOpenOnTheInterfaceThread() {
        QThread* boxThread = nullptr;
        Qt::CursorShape cursorOverBox = Qt::WaitCursor;
        QtDialogs::setNextAnswer(QMessageBox::Yes, [&] {
            boxThread = QThread::currentThread();
            cursorOverBox = CurrentOverrideCursor();
        });
        QtDialogs::setNextAnswer(QMessageBox::Ok);
        const bool replaced = RunBusy([] {
            const bool yes = cq::AskYesNo("Заменить сертификат?");
            cq::ShowInfoBox("Готово");
            return yes;
        });
        QVERIFY(replaced);
        QCOMPARE(boxThread, qApp->thread());
        QCOMPARE(cursorOverBox, Qt::ArrowCursor);
        const auto boxes = test::TakeBoxes();
        QCOMPARE(boxes.size(), 2);
        QCOMPARE(boxes.at(0).text, QStringLiteral("Заменить сертификат?"));
        QCOMPARE(boxes.at(1).text, QStringLiteral("Готово"));
    }

    void taskStartedMeanwhileNestsAndTheWindowStaysBusy() {
        int inner = 0;
        bool busyAfterInner = false;
        QTimer::singleShot(50, [&] {
            inner = RunBusy([] { return 7; });
            busyAfterInner = BusyTaskRunning() && CurrentOverrideCursor() == Qt::WaitCursor;
        });
        const int outer = RunBusy([] {
            std::this_thread::sleep_for(300ms);
            return 5;
        });
        QCOMPARE(outer, 5);
        QCOMPARE(inner, 7);
        QVERIFY(busyAfterInner);
        QVERIFY(!BusyTaskRunning());
        QCOMPARE(QApplication::overrideCursor(), nullptr);
    }

    void workOnAnotherThreadJustRuns() {
        int result = 0;
        std::thread other([&] { result = RunBusy([] { return 3; }); });
        other.join();
        QCOMPARE(result, 3);
    }
};

CQ_UI_TEST(TestBusyTask);
#include "test_BusyTask.moc"
