// The token providers in the window: listed in the GOST provider list after the software
// provider, and their PIN asked by a dialog of the window, titled for the token.
#include "TestSupport.h"
#include "TestTokenFolder.h"
#include "UiTestSupport.h"
#include "provider/ProviderRegistry.h"
#include "provider/SoftwareGostProvider.h"
#include "provider/TokenGostProvider.h"
#include "ui/CertificateInfoPanel.h"
#include "ui/ContainerPasswordDialog.h"
#include "ui/MainWindow.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

namespace cq::ui {
namespace {

/// Answers the next modal dialog: checks what it shows, types `pin` (nothing: Cancel).
struct DialogSeen {
    QString title;
    QString warning;
};

void AnswerNextDialog(DialogSeen& seen, const std::optional<QString>& pin) {
    QTimer::singleShot(0, [&seen, pin] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        seen.title = dialog->windowTitle();
        if (auto* warning = dialog->findChild<QLabel*>(QStringLiteral("pinWarning")))
            seen.warning = warning->text();
        if (!pin) {
            dialog->reject();
            return;
        }
        dialog->findChild<QLineEdit*>(QStringLiteral("edPin"))->setText(*pin);
        dialog->accept();
    });
}

class TestTokenPinDialog : public QObject {
    Q_OBJECT

private slots:
    void init() { InstallContainerPasswordDialog(); }
    void cleanup() { UninstallContainerPasswordDialog(); }

    void pinDialogIsTitledForTheTokenAndWarnsOfTheFinalTry() {
        provider::TokenPinQuestion question{"Ivanov (QX-2)", "QUORIX_R20240115090507042", true,
                                            true};
        DialogSeen seen;
        AnswerNextDialog(seen, QStringLiteral("1234"));
        const std::optional<SecretBytes> pin = provider::AskTokenPin(question);
        QVERIFY(pin.has_value());
        QCOMPARE(QString::fromStdString(pin->str()), QStringLiteral("1234"));
        QCOMPARE(seen.title, QStringLiteral("PIN-код токена Ivanov (QX-2)"));
        QVERIFY(seen.warning.startsWith(QStringLiteral("Осталась последняя попытка")));

        question.finalTry = question.countLow = false;
        seen = {};
        AnswerNextDialog(seen, std::nullopt);
        QVERIFY(!provider::AskTokenPin(question).has_value());
        QVERIFY(seen.warning.isEmpty());
    }

    void windowListsTheTokenAfterTheSoftwareProvider() {
        cq::test::TestTokenFolder token;
        cq::test::TempDir dir;
        cq::test::UseProgramFolder(dir.path());
        cq::test::WriteFile(dir / "CertQuorix.ini", "[Proxy]\r\nUse=0\r\n");
        auto software =
            provider::MakeSoftwareGostProvider(provider::kGostEngineId, dir / "containers/");
        if (!software)
            QSKIP("the GOST engine does not load here");
        std::vector<std::shared_ptr<provider::CryptoProvider>> providers = {software};
        for (auto& found :
             provider::TokenGostProviders({cq::test::TestTokenModule()}, [](auto&) {}))
            providers.push_back(found);
        provider::ScopedProviders installed{provider::ProviderRegistry(providers)};
        {
            MainWindow form;
            QVERIFY(test::ShowActive(form));
            QVERIFY(QTest::qWaitFor([&form] { return form.initialised(); }));
            form.findChild<QComboBox*>(QStringLiteral("cBoxRsaGost"))->setCurrentIndex(1);
            auto* list = form.findChild<QComboBox*>(QStringLiteral("cbProvName"));
            QCOMPARE(list->count(), 2);
            QCOMPARE(list->itemText(1), QStringLiteral("Ivanov (QX-2)"));
        }
        FreeInformationPanel();
    }

    void tokenInsertedAfterTheStartIsListedWhenTheListIsBuiltAgain() {
        cq::test::TestTokenFolder token;
        token.remove();
        cq::test::TempDir dir;
        cq::test::UseProgramFolder(dir.path());
        cq::test::WriteFile(dir / "CertQuorix.ini", "[Proxy]\r\nUse=0\r\n");
        qputenv(provider::kPkcs11ModuleVariable, cq::test::TestTokenModule());
        {
            MainWindow form;
            QVERIFY(test::ShowActive(form));
            QVERIFY(QTest::qWaitFor([&form] { return form.initialised(); }));
            auto* mode = form.findChild<QComboBox*>(QStringLiteral("cBoxRsaGost"));
            auto* list = form.findChild<QComboBox*>(QStringLiteral("cbProvName"));
            const auto listed = [list] {
                QStringList names;
                for (int i = 0; i < list->count(); ++i)
                    names << list->itemText(i);
                return names;
            };
            mode->setCurrentIndex(1);
            QVERIFY(!listed().contains(QStringLiteral("Ivanov (QX-2)")));
            mode->setCurrentIndex(0);
            token.insert();
            mode->setCurrentIndex(1);
            QVERIFY(listed().contains(QStringLiteral("Ivanov (QX-2)")));
        }
        FreeInformationPanel();
        qunsetenv(provider::kPkcs11ModuleVariable);
        provider::RefreshInstalledProviders();
    }
};

} // namespace
} // namespace cq::ui

using cq::ui::TestTokenPinDialog;
CQ_UI_TEST(TestTokenPinDialog);
#include "test_TokenPinDialog.moc"
