// The information panel: one panel for the run, its look, hiding, Escape, links, and errors
// under the two captions.
#include "UiTestSupport.h"

#include "base/Dialogs.h"
#include "base/ShellOpenCodes.h"
#include "ui/HelpText.h"
#include "ui/MainSertForm.h"
#include "ui/RichBox.h"
#include "ui/SertInfo.h"

#include <QLabel>
#include <QTabWidget>
#include <QTest>
#include <QTextCursor>
#include <QThreadPool>

#include <mutex>

using namespace cq::ui;

namespace {

// Where a character of the panel's text is drawn, in the coordinates of the box's viewport.
QPoint PointOf(TRichBox& box, const QString& phrase, int offset) {
    QTextCursor cursor(box.document());
    cursor.setPosition(static_cast<int>(box.toPlainText().indexOf(phrase)) + offset);
    return box.cursorRect(cursor).center() + QPoint(2, 0);
}

} // namespace

class TestSertInfo : public QObject {
    Q_OBJECT
private slots:
    void init() {
        test::TakeBoxes();
        opened_.clear();
        openResult_ = cq::shellopen::kSucceeded;
        // Links open on a worker thread.
        TSertInfoForm::setLinkOpener([this](const std::string& target) {
            const std::lock_guard held(lock_);
            opened_ << QString::fromStdString(target);
            return openResult_;
        });
        main_ = std::make_unique<TMainSertForm>();
        QVERIFY(test::ShowActive(*main_));
    }

    void cleanup() {
        FreeSertInfoForm();
        main_.reset();
        TSertInfoForm::setLinkOpener({});
    }

    void thePanelOpensCentredOnTheMainWindow() {
        QVERIFY(SertInfoForm() == nullptr);
        ShowHelpInfo(kHelpSertWarning, nullptr);
        TSertInfoForm* panel = SertInfoForm();
        QVERIFY(panel && panel->isVisible());
        QCOMPARE(panel->windowTitle(), QStringLiteral("Информационная панель"));
        // Owned by the main window (one taskbar entry), yet a window of its own.
        QCOMPARE(panel->parentWidget(), main_.get());
        QVERIFY(panel->isWindow());
        QCOMPARE(panel->size(), QSize(529, 248));
        QCOMPARE(panel->palette().color(QPalette::Window), QColor(255, 251, 240));
        QVERIFY(panel->maximumWidth() > 529); // resizable
        // Centred, give or take the rounding of odd sizes and the window frame.
        const QPoint offCentre = panel->frameGeometry().center() - main_->frameGeometry().center();
        QVERIFY2(offCentre.manhattanLength() <= 4,
                 qPrintable(QString("%1,%2").arg(offCentre.x()).arg(offCentre.y())));
        QVERIFY(panel->richInfo()->toPlainText().startsWith("ВНИМАНИЕ!!!"));
        QCOMPARE(panel->richInfo()->contextMenuPolicy(), Qt::PreventContextMenu);
    }

    void twoCallsShowOnePanelWithTheSecondText() {
        ShowHelpInfo(7, nullptr);
        TSertInfoForm* first = SertInfoForm();
        ShowHelpInfo(13, nullptr);
        QCOMPARE(SertInfoForm(), first);
        QVERIFY(first->richInfo()->toPlainText().startsWith("Только латинские символы в нижнем"));
        const auto windows = QApplication::topLevelWidgets();
        QCOMPARE(std::count_if(windows.begin(), windows.end(),
                               [](QWidget* w) { return qobject_cast<TSertInfoForm*>(w); }),
                 1);
    }

    void thePanelHidesWhenTheMainWindowBecomesActive() {
        ShowHelpInfo(kHelpSertInfo, nullptr);
        QVERIFY(QTest::qWaitForWindowActive(SertInfoForm()));
        main_->activateWindow();
        QTRY_VERIFY(!SertInfoForm()->isVisible());
        // The next call shows the same panel again, where it was.
        const QPoint placed = SertInfoForm()->pos();
        SertInfoForm()->move(placed + QPoint(30, 30));
        ShowHelpInfo(kHelpSertWarning2, nullptr);
        QVERIFY(SertInfoForm()->isVisible());
        QCOMPARE(SertInfoForm()->pos(), placed + QPoint(30, 30));
    }

    void escapeClosesThePanel() {
        ShowHelpInfo(kHelpSertInfo, nullptr);
        QVERIFY(QTest::qWaitForWindowActive(SertInfoForm()));
        QTest::keyClick(SertInfoForm()->richInfo(), Qt::Key_Escape);
        QVERIFY(!SertInfoForm()->isVisible());
        QVERIFY(main_->isVisible());
    }

    void aLeftClickOnALinkOpensItsAddress() {
        ShowHelpInfo(kHelpSertWarning, nullptr);
        TRichBox* box = SertInfoForm()->richInfo();
        QTest::mouseClick(box->viewport(), Qt::RightButton, {},
                          PointOf(*box, "https://www.quorix.ru", 4));
        QTest::mouseClick(box->viewport(), Qt::LeftButton, {}, PointOf(*box, "Свяжитесь", 3));
        QVERIFY(openedLinks().isEmpty());
        QTest::mouseClick(box->viewport(), Qt::LeftButton, {},
                          PointOf(*box, "https://www.quorix.ru", 4));
        QCOMPARE(openedLinks(), QStringList{"https://www.quorix.ru"});
    }

    void aLinkThatCannotBeOpenedRaisesTheExternalCallError() {
        ShowHelpInfo(kHelpSertWarning2, nullptr);
        TRichBox* box = SertInfoForm()->richInfo();
        openResult_ = cq::shellopen::kNoAssociation;
        QtDialogs::setNextAnswer(QMessageBox::Ok);
        QTest::mouseClick(box->viewport(), Qt::LeftButton, {},
                          PointOf(*box, "https://infotecs.ru", 10));
        QCOMPARE(openedLinks(), QStringList{"https://infotecs.ru"});
        QList<QtDialogs::Box> boxes;
        QVERIFY(QTest::qWaitFor([&] {
            boxes += QtDialogs::takeAnsweredBoxes(); // keeps the answer queued meanwhile
            return !boxes.isEmpty();
        }));
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes.front().caption, QString::fromUtf8(cq::kApplicationTitle));
        QCOMPARE(boxes.front().text,
                 QStringLiteral("Exception: Ошибка внешнего вызова(31): Нет приложений "
                                "ассоциированных с данным расширением файла."));
    }

    void anUnknownContextIsReportedUnderTheCallersCaption() {
        // In the hint box.
        QtDialogs::setNextAnswer(QMessageBox::Ok);
        ShowHelpInfo(kHelpSertWarning, main_->rich());
        ShowHelpInfo(5, main_->rich());
        auto boxes = test::TakeBoxes();
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes.front().caption, QStringLiteral("Показ хинта из HelpContex"));
        QCOMPARE(boxes.front().text, QStringLiteral("Нет информации под идексом - \"5\""));
        QVERIFY(main_->rich()->document()->isEmpty());
        QVERIFY(SertInfoForm() == nullptr);

        // In the panel: a hidden one stays hidden, one on screen stays there, empty.
        QtDialogs::setNextAnswer(QMessageBox::Ok);
        ShowHelpInfo(5, nullptr);
        boxes = test::TakeBoxes();
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes.front().caption, QStringLiteral("Информационная панель"));
        QVERIFY(!SertInfoForm()->isVisible());
        ShowHelpInfo(kHelpSertInfo, nullptr);
        QtDialogs::setNextAnswer(QMessageBox::Ok);
        ShowHelpInfo(5, nullptr);
        QCOMPARE(test::TakeBoxes().size(), 1);
        QVERIFY(SertInfoForm()->isVisible());
        QVERIFY(SertInfoForm()->richInfo()->document()->isEmpty());
    }

    void theInformationLabelsOpenTheirTexts() {
        QTest::mouseClick(main_->lblSertInfo(), Qt::LeftButton, {}, QPoint(3, 3));
        QVERIFY(SertInfoForm()->richInfo()->toPlainText().contains("Certificate.key"));
        main_->PControl()->setCurrentIndex(1);
        QTest::mouseClick(main_->lblSertGetInfo(), Qt::LeftButton, {}, QPoint(3, 3));
        QVERIFY(SertInfoForm()->richInfo()->toPlainText().startsWith("После получения"));
    }

private:
    std::unique_ptr<TMainSertForm> main_;
    // The links opened so far, once the worker that opens them has had its turn.
    QStringList openedLinks() {
        QThreadPool::globalInstance()->waitForDone();
        const std::lock_guard held(lock_);
        return opened_;
    }

    std::mutex lock_;
    QStringList opened_;
    int openResult_ = cq::shellopen::kSucceeded;
};

CQ_UI_TEST(TestSertInfo);

#include "test_SertInfo.moc"
