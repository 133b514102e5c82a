// Message boxes and the application-wide error handler at the event dispatch.
#include "UiTestSupport.h"

#include "app/ErrorReport.h"
#include "base/Dialogs.h"
#include "base/Errors.h"
#include "ui/BaseForm.h"
#include "ui/MainWindow.h"
#include "ui/QtDialogs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QTest>
#include <QTimer>

using namespace cq::ui;

namespace {

// Throws from inside an event handler, as a failing slot would.
void ThrowFromTheEventLoop(std::function<void()> fail) {
    QTimer::singleShot(0, qApp, std::move(fail));
}

} // namespace

class TestDialogs : public QObject {
    Q_OBJECT
private slots:
    void init() { test::TakeBoxes(); }

    void boxesHaveTheirIconsButtonsAndCaptions_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("expectedCaption");
        QTest::addColumn<int>("icon");
        QTest::addColumn<int>("buttons");
        const QString title = QString::fromUtf8(cq::kApplicationTitle);
        const int ok = QMessageBox::Ok;
        const int yesNo = QMessageBox::Yes | QMessageBox::No;
        QTest::newRow("error") << 0 << "Проверка сертификата"
                               << "Проверка сертификата" << int(QMessageBox::Critical) << ok;
        QTest::newRow("warning") << 1 << "Внимание"
                                 << "Внимание" << int(QMessageBox::Warning) << ok;
        QTest::newRow("information, empty caption")
            << 2 << "" << title << int(QMessageBox::Information) << ok;
        QTest::newRow("question, empty caption")
            << 3 << "" << title << int(QMessageBox::Question) << yesNo;
    }

    void boxesHaveTheirIconsButtonsAndCaptions() {
        QFETCH(int, kind);
        QFETCH(QString, caption);
        QFETCH(QString, expectedCaption);
        QFETCH(int, icon);
        QFETCH(int, buttons);
        QtDialogs::setNextAnswer(kind == 3 ? QMessageBox::Yes : QMessageBox::Ok);
        const std::string text = "Текст сообщения";
        const std::string captionText = caption.toStdString();
        switch (kind) {
        case 0:
            cq::ShowErrorBox(text, captionText);
            break;
        case 1:
            cq::ShowWarningBox(text, captionText);
            break;
        case 2:
            cq::ShowInfoBox(text, captionText);
            break;
        default:
            QVERIFY(cq::AskYesNo(text, captionText));
        }
        const auto boxes = test::TakeBoxes();
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes.front().text, QString::fromStdString(text));
        QCOMPARE(boxes.front().caption, expectedCaption);
        QCOMPARE(int(boxes.front().icon), icon);
        QCOMPARE(int(boxes.front().buttons), buttons);
    }

    void onlyYesAnswersYes() {
        QtDialogs::setNextAnswer(QMessageBox::No);
        QVERIFY(!cq::AskYesNo("Заменить?"));
        QtDialogs::setNextAnswer(QMessageBox::Yes);
        QVERIFY(cq::AskYesNo("Заменить?"));
    }

    void theDefaultButtonFollowsTheQuestion() {
        QtDialogs::setNextAnswer(QMessageBox::Yes);
        cq::AskYesNo("Заменить?");
        QtDialogs::setNextAnswer(QMessageBox::No);
        cq::AskYesNo("Заменить?", {}, cq::DefaultAnswer::No);
        QtDialogs::setNextAnswer(QMessageBox::Ok);
        cq::ShowInfoBox("Готово");
        const auto boxes = test::TakeBoxes();
        QCOMPARE(boxes.size(), 3);
        QCOMPARE(boxes[0].defaultButton, QMessageBox::Yes);
        QCOMPARE(boxes[1].defaultButton, QMessageBox::No);
        QCOMPARE(boxes[2].defaultButton, QMessageBox::Ok);
    }

    void theActiveWindowOwnsTheBox() {
        MainWindow window;
        QVERIFY(test::ShowActive(window));
        QtDialogs::setNextAnswer(QMessageBox::Ok);
        cq::ShowInfoBox("Готово");
        QCOMPARE(test::TakeBoxes().front().owner.data(), &window);
    }

    // A box shown for real is in its window's font and wide enough for its title, however
    // short its text.
    void aShownBoxTakesTheWindowsFontAndFitsItsTitle() {
        BaseForm window;
        QVERIFY(test::ShowActive(window));
        const QString title = QStringLiteral("PIN-код токена Test Token (TestModel)");
        QFont boxFont;
        int boxWidth = 0;
        QTimer::singleShot(0, qApp, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            boxFont = box->font();
            boxWidth = box->width();
            box->done(QMessageBox::Ok);
        });
        ShowMessageBox("Да", title.toStdString(), QMessageBox::Information, QMessageBox::Ok);
        QCOMPARE(boxFont.family(), window.font().family());
        QCOMPARE(boxFont.pointSizeF(), window.font().pointSizeF());
        QFont titleFont = QApplication::font();
        titleFont.setBold(true);
        QVERIFY(boxWidth > QFontMetrics(titleFont).horizontalAdvance(title));
    }

    void yesAndNoAreInRussian() {
        QMessageBox box(QMessageBox::Question, "", "", QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(box.button(QMessageBox::Yes)->text().remove('&'), QStringLiteral("Да"));
        QCOMPARE(box.button(QMessageBox::No)->text().remove('&'), QStringLiteral("Нет"));
    }

    void anErrorEscapingAnEventHandlerIsShownWithItsClassName() {
        MainWindow window; // installs OnApplicationError
        QtDialogs::setNextAnswer(QMessageBox::Ok);
        ThrowFromTheEventLoop([] { throw cq::EOSError("Нет доступа", 13); });
        bool loopWentOn = false;
        QTimer::singleShot(10, qApp, [&] { loopWentOn = true; });
        QTRY_VERIFY(loopWentOn);
        const auto boxes = test::TakeBoxes();
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes.front().text, QStringLiteral("EOSError: Нет доступа"));
        QCOMPARE(boxes.front().caption, QString::fromUtf8(cq::kApplicationTitle));
        QCOMPARE(boxes.front().icon, QMessageBox::Critical);
    }

    void aSecondErrorWhileTheBoxIsOpenIsDropped() {
        MainWindow window;
        int secondRaised = 0;
        // While the first box is open the loop goes on and a second handler fails.
        QtDialogs::setNextAnswer(QMessageBox::Ok, [&] {
            ThrowFromTheEventLoop([&] {
                ++secondRaised;
                throw cq::Exception("second");
            });
            QTRY_COMPARE(secondRaised, 1);
        });
        QtDialogs::setNextAnswer(QMessageBox::Ok);
        ThrowFromTheEventLoop([] { throw cq::Exception("first"); });
        QTRY_COMPARE(secondRaised, 1);
        QTest::qWait(20);
        auto boxes = test::TakeBoxes();
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes.front().text, QStringLiteral("Exception: first"));
        // The guard is down again once the box is closed.
        QtDialogs::setNextAnswer(QMessageBox::Ok);
        bool thirdRaised = false;
        ThrowFromTheEventLoop([&] {
            thirdRaised = true;
            throw cq::Exception("third");
        });
        QTRY_VERIFY(thirdRaised);
        QCOMPARE(QtDialogs::takeAnsweredBoxes().size(), 1);
    }
};

CQ_UI_TEST(TestDialogs);

#include "test_Dialogs.moc"
