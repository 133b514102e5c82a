// The window as a native Wayland client (CTest runs this class inside a headless Weston): it
// starts on the Wayland platform at its designed size, its layout indicator shows the layout
// GNOME's setting tells in a GNOME session and nothing where no source answers, and its fields
// keep their rules on the routes that need no keyboard focus (a headless compositor gives none):
// input methods, accessibility, paste.
#include "FakeGsettings.h"
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
        desktop_ = qgetenv("XDG_CURRENT_DESKTOP");
        qunsetenv("XDG_CURRENT_DESKTOP"); // the weston session is no GNOME one
    }

    void cleanup() {
        if (!desktop_.isEmpty())
            qputenv("XDG_CURRENT_DESKTOP", desktop_);
    }

    void theIndicatorShowsWhatTheSessionTellsOrNothing_data() {
        QTest::addColumn<QByteArray>("desktop");
        QTest::addColumn<QString>("caption");
        QTest::newRow("gnome session") << QByteArray("GNOME") << "RU";
        QTest::newRow("no gnome") << QByteArray() << "";
    }

    void theIndicatorShowsWhatTheSessionTellsOrNothing() {
        QFETCH(QByteArray, desktop);
        QFETCH(QString, caption);
        const test::FakeGsettings gsettings("[('xkb', 'us'), ('xkb', 'ru')]",
                                            "[('xkb', 'ru'), ('xkb', 'us')]");
        if (!desktop.isEmpty())
            qputenv("XDG_CURRENT_DESKTOP", desktop);
        cq::test::TempDir dir;
        cq::test::UseProgramFolder(dir.path());
        MainWindow form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        auto* indicator = form.findChild<KeyboardIndicator*>();
        QVERIFY(indicator);
        QTRY_VERIFY(!indicator->reading());
        QCOMPARE(indicator->caption(), caption);
        QCOMPARE(indicator->russianFlag()->isVisible(), caption == "RU");
        QVERIFY(!indicator->englishFlag()->isVisible());
        FreeInformationPanel();
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
        QTRY_VERIFY(!indicator->reading());
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

private:
    QByteArray desktop_;
};
CQ_UI_TEST(TestMainWindowWayland);

#include "test_MainWindowWayland.moc"
