// The information panel: one panel for the run, its look, hiding, Escape, links, and errors
// under the two captions.
#include "UiTestSupport.h"

#include "base/Dialogs.h"
#include "base/ShellOpenCodes.h"
#include "ui/CertificateInfoPanel.h"
#include "ui/HelpText.h"
#include "ui/MainWindow.h"
#include "ui/RichTextBox.h"

#include <QLabel>
#include <QTabWidget>
#include <QTest>
#include <QTextCursor>
#include <QThreadPool>
#include <QWindow>

#include <mutex>

using namespace cq::ui;

namespace {

// Where a character of the panel's text is drawn, in the coordinates of the box's viewport.
QPoint PointOf(RichTextBox& box, const QString& phrase, int offset) {
    QTextCursor cursor(box.document());
    cursor.setPosition(static_cast<int>(box.toPlainText().indexOf(phrase)) + offset);
    return box.cursorRect(cursor).center() + QPoint(2, 0);
}

} // namespace

class TestCertificateInfoPanel : public QObject {
    Q_OBJECT
private slots:
    void init() {
        test::TakeBoxes();
        opened_.clear();
        openResult_ = cq::shellopen::kSucceeded;
        // Links open on a worker thread.
        CertificateInfoPanel::setLinkOpener([this](const std::string& target) {
            const std::lock_guard held(lock_);
            opened_ << QString::fromStdString(target);
            return openResult_;
        });
        main_ = std::make_unique<MainWindow>();
        QVERIFY(test::ShowActive(*main_));
    }

    void cleanup() {
        FreeInformationPanel();
        main_.reset();
        CertificateInfoPanel::setLinkOpener({});
    }

    void thePanelOpensCentredOnTheMainWindow() {
        QVERIFY(InformationPanel() == nullptr);
        ShowHelpInfo(kHelpRsaProcedure, nullptr);
        CertificateInfoPanel* panel = InformationPanel();
        QVERIFY(panel && panel->isVisible());
        QCOMPARE(panel->windowTitle(), QStringLiteral("Информационная панель"));
        // Owned by the main window (one taskbar entry), yet a window of its own.
        QCOMPARE(panel->parentWidget(), main_.get());
        QVERIFY(panel->isWindow());
        // A dialog of the main window, so the window manager keeps it with it and gives it no
        // taskbar entry.
        QCOMPARE(panel->windowType(), Qt::Dialog);
        QCOMPARE(panel->windowHandle()->transientParent(), main_->windowHandle());
        QCOMPARE(panel->size(), QSize(529, 248));
        QCOMPARE(panel->palette().color(QPalette::Window), QColor(255, 251, 240));
        QVERIFY(panel->maximumWidth() > 529); // resizable
        // Centred, give or take the rounding of odd sizes and the window frame.
        const QPoint offCentre = panel->frameGeometry().center() - main_->frameGeometry().center();
        QVERIFY2(offCentre.manhattanLength() <= 4,
                 qPrintable(QString("%1,%2").arg(offCentre.x()).arg(offCentre.y())));
        QVERIFY(panel->textBox()->toPlainText().startsWith("ВНИМАНИЕ!!!"));
        QCOMPARE(panel->textBox()->contextMenuPolicy(), Qt::PreventContextMenu);
    }

    void twoCallsShowOnePanelWithTheSecondText() {
        ShowHelpInfo(7, nullptr);
        CertificateInfoPanel* first = InformationPanel();
        ShowHelpInfo(13, nullptr);
        QCOMPARE(InformationPanel(), first);
        QVERIFY(first->textBox()->toPlainText().startsWith("Только латинские символы в нижнем"));
        const auto windows = QApplication::topLevelWidgets();
        QCOMPARE(std::count_if(windows.begin(), windows.end(),
                               [](QWidget* w) { return qobject_cast<CertificateInfoPanel*>(w); }),
                 1);
    }

    void thePanelHidesWhenTheMainWindowBecomesActive() {
        ShowHelpInfo(kHelpCertificateFiles, nullptr);
        QVERIFY(QTest::qWaitForWindowActive(InformationPanel()));
        main_->activateWindow();
        QTRY_VERIFY(!InformationPanel()->isVisible());
        // The next call shows the same panel again, where it was.
        const QPoint placed = InformationPanel()->pos();
        InformationPanel()->move(placed + QPoint(30, 30));
        ShowHelpInfo(kHelpGostProcedure, nullptr);
        QVERIFY(InformationPanel()->isVisible());
        QCOMPARE(InformationPanel()->pos(), placed + QPoint(30, 30));
    }

    void escapeClosesThePanel() {
        ShowHelpInfo(kHelpCertificateFiles, nullptr);
        QVERIFY(QTest::qWaitForWindowActive(InformationPanel()));
        QTest::keyClick(InformationPanel()->textBox(), Qt::Key_Escape);
        QVERIFY(!InformationPanel()->isVisible());
        QVERIFY(main_->isVisible());
    }

    void aLeftClickOnALinkOpensItsAddress() {
        ShowHelpInfo(kHelpRsaProcedure, nullptr);
        RichTextBox* box = InformationPanel()->textBox();
        QTest::mouseClick(box->viewport(), Qt::RightButton, {},
                          PointOf(*box, "https://www.quorix.ru", 4));
        QTest::mouseClick(box->viewport(), Qt::LeftButton, {}, PointOf(*box, "Свяжитесь", 3));
        QVERIFY(openedLinks().isEmpty());
        QTest::mouseClick(box->viewport(), Qt::LeftButton, {},
                          PointOf(*box, "https://www.quorix.ru", 4));
        QCOMPARE(openedLinks(), QStringList{"https://www.quorix.ru"});
    }

    void aLinkThatCannotBeOpenedRaisesTheExternalCallError() {
        ShowHelpInfo(kHelpGostProcedure, nullptr);
        RichTextBox* box = InformationPanel()->textBox();
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
                                "ассоциированных с данным расширением файла.\r\nАдрес: "
                                "https://infotecs.ru"));
    }

    void anUnknownContextIsReportedUnderTheCallersCaption() {
        // In the hint box.
        QtDialogs::setNextAnswer(QMessageBox::Ok);
        ShowHelpInfo(kHelpRsaProcedure, main_->hintBox());
        ShowHelpInfo(5, main_->hintBox());
        auto boxes = test::TakeBoxes();
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes.front().caption, QStringLiteral("Показ хинта из HelpContex"));
        QCOMPARE(boxes.front().text, QStringLiteral("Нет информации под идексом - \"5\""));
        QVERIFY(main_->hintBox()->document()->isEmpty());
        QVERIFY(InformationPanel() == nullptr);

        // In the panel: a hidden one stays hidden, one on screen stays there, empty.
        QtDialogs::setNextAnswer(QMessageBox::Ok);
        ShowHelpInfo(5, nullptr);
        boxes = test::TakeBoxes();
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes.front().caption, QStringLiteral("Информационная панель"));
        QVERIFY(!InformationPanel()->isVisible());
        ShowHelpInfo(kHelpCertificateFiles, nullptr);
        QtDialogs::setNextAnswer(QMessageBox::Ok);
        ShowHelpInfo(5, nullptr);
        QCOMPARE(test::TakeBoxes().size(), 1);
        QVERIFY(InformationPanel()->isVisible());
        QVERIFY(InformationPanel()->textBox()->document()->isEmpty());
    }

    void theInformationLabelsOpenTheirTexts() {
        QTest::mouseClick(main_->requestInfoLink(), Qt::LeftButton, {}, QPoint(3, 3));
        QVERIFY(InformationPanel()->textBox()->toPlainText().contains("Certificate.key"));
        main_->tabs()->setCurrentIndex(1);
        QTest::mouseClick(main_->receptionInfoLink(), Qt::LeftButton, {}, QPoint(3, 3));
        QVERIFY(InformationPanel()->textBox()->toPlainText().startsWith("После получения"));
    }

private:
    std::unique_ptr<MainWindow> main_;
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

CQ_UI_TEST(TestCertificateInfoPanel);

#include "test_CertificateInfoPanel.moc"
