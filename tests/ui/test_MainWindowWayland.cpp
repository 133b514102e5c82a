// The window as a native Wayland client (CTest runs this class inside a headless Weston): it
// starts on the Wayland platform at its designed size, its layout indicator never guesses (no
// source there tells the layout), and its fields keep their rules on the routes that need no
// keyboard focus (a headless compositor gives none): input methods, accessibility, paste.
#include "UiTestSupport.h"

#include "TestSupport.h"
#include "ui/CertificateInfoPanel.h"
#include "ui/KeyboardIndicator.h"
#include "ui/MainWindow.h"
#include "ui/RuleLineEdit.h"

#include <QAccessible>
#include <QApplication>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

using namespace cq::ui;

class TestMainWindowWayland : public QObject {
    Q_OBJECT
private slots:
    void init() {
        if (QGuiApplication::platformName() != QLatin1String("wayland"))
            QSKIP("not a Wayland session");
        test::TakeBoxes();
    }

    void theWindowStartsNativelyAndItsFieldsKeepTheirRules() {
        cq::test::TempDir dir;
        cq::test::UseProgramFolder(dir.path());
        cq::test::WriteFile(dir / "CertQuorix.ini", "[Proxy]\r\nUse=1\r\n");
        MainWindow form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QVERIFY(QTest::qWaitFor([&form] { return form.initialised(); }));
        QCOMPARE(form.size(), QSize(437, 525));

        auto* indicator = form.findChild<KeyboardIndicator*>();
        QVERIFY(indicator);
        QCOMPARE(indicator->caption(), QString());
        QVERIFY(!indicator->englishFlag()->isVisible() && !indicator->russianFlag()->isVisible());

        auto* mail = form.findChild<RuleLineEdit*>(QStringLiteral("edEmail"));
        auto* password = form.findChild<RuleLineEdit*>(QStringLiteral("edPassword"));
        QVERIFY(mail && password);
        QInputMethodEvent capital;
        capital.setCommitString(QStringLiteral("Ivan@x.y"));
        QApplication::sendEvent(mail, &capital);
        QCOMPARE(mail->text(), QString());
        QAccessible::queryAccessibleInterface(password)->setText(QAccessible::Value,
                                                                 QStringLiteral("pw中文"));
        QCOMPARE(password->text(), QString());
        QtDialogs::setNextAnswer(QMessageBox::Ok);
        mail->pasteText(QStringLiteral("Иван@x.y"));
        QCOMPARE(mail->text(), QString());
        QCOMPARE(test::TakeBoxes().size(), 1);
        mail->pasteText(QStringLiteral("ivan@x.y"));
        QCOMPARE(mail->text(), QStringLiteral("ivan@x.y"));
        FreeInformationPanel();
    }
};
CQ_UI_TEST(TestMainWindowWayland);

#include "test_MainWindowWayland.moc"
