// The renewal through the window against sandbox-ca, RSA and GOST: the reception tab shows a
// certificate's end and offers renewing it, a pending renewal is shown and can be cancelled, the
// download before the issue leaves the working pair and the one after it swaps the renewed pair in.
// At start the window tells once which certificates are near their end.
#include "UiTestSupport.h"

#include "SandboxServer.h"
#include "TestSupport.h"
#include "app/AppServer.h"
#include "base/Dialogs.h"
#include "certs/AddressOverview.h"
#include "certs/Download.h"
#include "certs/GostProcedure.h"
#include "certs/GostRequest.h"
#include "certs/Renewal.h"
#include "certs/Submission.h"
#include "log/Identity.h"
#include "log/Log.h"
#include "provider/GostKey.h"
#include "provider/ProviderRegistry.h"
#include "provider/SoftwareGostProvider.h"
#include "settings/CertFolders.h"
#include "transport/Connection.h"
#include "ui/BusyTask.h"
#include "ui/CertificateInfoPanel.h"
#include "ui/ContainerPasswordDialog.h"
#include "ui/KeyPasswordDialog.h"
#include "ui/MainWindow.h"
#include "ui/Mnemonics.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <filesystem>

using namespace cq::ui;
using cq::test::ReadFile;
using cq::test::TempDir;
using cq::test::WriteFile;

namespace {

const char* const kSettings = "[Proxy]\r\nUse=0\r\n";

// Records whether the window has been painted, so a box can tell whether it came before.
class PaintWatch : public QObject {
public:
    explicit PaintWatch(QWidget* window) : window_(window) { qApp->installEventFilter(this); }
    bool painted = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (event->type() == QEvent::Paint && widget && widget->window() == window_)
            painted = true;
        return false;
    }

private:
    QWidget* window_;
};

void ClearProxyEnvironment() {
    for (const char* name : {"https_proxy", "http_proxy", "HTTPS_PROXY", "HTTP_PROXY"})
        qunsetenv(name);
}

QString TextsOf(const QList<QtDialogs::Box>& boxes) {
    QStringList texts;
    for (const QtDialogs::Box& box : boxes)
        texts << box.text;
    return texts.join(QStringLiteral(" | "));
}

// The boxes an action opens, each answered with the next of `answers`; waits (bounded) for all.
QList<QtDialogs::Box> BoxesOf(const std::function<void()>& action,
                              const QList<QMessageBox::StandardButton>& answers) {
    QtDialogs::clearNextAnswers();
    QtDialogs::takeAnsweredBoxes();
    for (const QMessageBox::StandardButton answer : answers)
        QtDialogs::setNextAnswer(answer);
    action();
    QList<QtDialogs::Box> boxes;
    if (!QTest::qWaitFor(
            [&] {
                boxes += QtDialogs::takeAnsweredBoxes();
                return boxes.size() >= answers.size();
            },
            60000))
        qWarning("fewer boxes than answers: %s", qPrintable(TextsOf(boxes)));
    return boxes;
}

// A working RSA pair for `email` made through the core against the sandbox: the request sent,
// issued for `days` (expired when negative) and downloaded.
void MakeWorkingPair(const cq::test::SandboxServer& server, const std::string& email, int days) {
    cq::SubjectData subject;
    subject.Country = "ru";
    subject.Locality = "Moscow";
    subject.Organization = "Firm Ltd";
    subject.CommonName = "Ivan Petrov";
    subject.Email = email;
    subject.Password = "Secret1";
    const auto sent =
        BoxesOf([&] { QVERIFY(cq::RequestRsaCertificate(cq::kCertificateKeyFile, subject)); },
                {QMessageBox::Ok});
    QCOMPARE(sent.size(), 1);
    server.issue(email, days < 0, days < 0 ? 0 : days);
    cq::ReceptionState state;
    const auto got = BoxesOf(
        [&] { QCOMPARE(cq::ReceiveCertificate(email, state), cq::DownloadResult::Downloaded); },
        {QMessageBox::Ok});
    QCOMPARE(got.size(), 1);
}

// A working GOST pair for `email` in a container of the first qualifying provider, issued for
// `days` and downloaded.
void MakeWorkingGostPair(const cq::test::SandboxServer& server, const std::string& email,
                         int days) {
    const std::vector<cq::ProviderEntry> providers = cq::QualifyingProviders();
    QVERIFY(!providers.empty());
    cq::GostRequestForm form;
    form.Country = "ru";
    form.State = "Moscow";
    form.Locality = "Moscow";
    form.Organization = "Firm Ltd";
    form.CommonName = "Ivan Petrov";
    form.Email = email;
    form.ProvName = providers.front().Name;
    form.Info = providers.front().Info;
    form.Container = cq::GostContainerName(std::chrono::system_clock::now());
    setNextContainerPassword(QStringLiteral("container pw"));
    const auto sent =
        BoxesOf([&] { QCOMPARE(cq::RunGostProcedure(form), cq::GostProcedureOutcome::Sent); },
                {QMessageBox::Ok});
    QCOMPARE(sent.size(), 1);
    server.issue(email, false, days);
    cq::ReceptionState state;
    const auto got = BoxesOf(
        [&] { QCOMPARE(cq::ReceiveCertificate(email, state), cq::DownloadResult::Downloaded); },
        {QMessageBox::Ok});
    QCOMPARE(got.size(), 1);
}

// The main window on a program folder with the settings file.
class Window {
public:
    explicit Window(const std::string& settings) {
        cq::test::UseProgramFolder(dir_.path());
        WriteFile(dir_ / "CertQuorix.ini", settings);
        // The act a request writes beside its key shows which request a certificate answers.
        for (const std::string act : {"PublicKeyAct RSA.rtf", "PublicKeyAct Gost.rtf"})
            WriteFile(dir_ / act, ReadFile(std::string(CQ_SOURCE_DIR "/resources/") + act));
    }
    ~Window() {
        FreeInformationPanel();
        form_.reset();
    }
    const TempDir& dir() const { return dir_; }
    MainWindow& form() { return *form_; }
    // A new run: the window before it is gone first (it uninstalls what the window installs).
    void create() {
        form_.reset();
        form_ = std::make_unique<MainWindow>();
    }
    // Shown, initialised and painted once, with the start-up notice's turn over.
    bool start() {
        if (!form_)
            create();
        const PaintWatch paints(form_.get());
        const bool started = test::ShowActive(*form_) &&
                             QTest::qWaitFor([this] { return form_->initialised(); }) &&
                             QTest::qWaitFor([&paints] { return paints.painted; });
        QApplication::processEvents();
        return started;
    }
    template <typename W = QWidget> W* find(const char* name) {
        auto* widget = form_->findChild<W*>(QLatin1String(name));
        if (!widget)
            qFatal("no control %s", name);
        return widget;
    }
    QPushButton* button(const char* name) { return find<QPushButton>(name); }
    QString text(const char* name) { return find<QLabel>(name)->text(); }
    bool shown(const char* name) { return find(name)->isVisible(); }
    void choose(const std::string& email) {
        form_->tabs()->setCurrentIndex(1);
        find<QComboBox>("comBoxMail")->setEditText(QString::fromStdString(email));
    }

private:
    TempDir dir_;
    std::unique_ptr<MainWindow> form_;
};

// The controls Tab visits from `start`, `count` of them.
QStringList TabWalk(QWidget* start, int count) {
    start->setFocus(Qt::TabFocusReason);
    QStringList names;
    for (int i = 0; i < count; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        names << QApplication::focusWidget()->objectName();
    }
    return names;
}

bool HasPreviousPair(const std::string& folder) {
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.is_directory() && entry.path().filename().string().starts_with("Previous-"))
            return true;
    return false;
}

} // namespace

class TestReceptionRenewal : public QObject {
    Q_OBJECT
private slots:
    void init() {
        ClearProxyEnvironment();
        test::TakeBoxes();
    }
    void cleanup() { test::TakeBoxes(); }

    void theRsaRenewalRoadThroughTheReceptionTab() {
        cq::test::SandboxServer server;
        Window w(kSettings);
        QVERIFY(w.start());
        cq::test::UseSandboxService(server, w.dir().path());
        cq::ui::test::ConnectionScope connection;
        const std::string email = "ivan@mail.example";
        const std::string folder = cq::CertificateFolder(email);
        MakeWorkingPair(server, email, 10);
        const std::string workingKey = ReadFile(folder + "Certificate.key");

        // Ten days left: the end and the days are shown, and the renewal is offered.
        w.choose(email);
        const int left = cq::OverviewOfAddress(email).DaysLeft;
        QVERIFY2(left >= 9 && left <= 10, qPrintable(QString::number(left)));
        QVERIFY(w.shown("lblExpiry"));
        QVERIFY2(w.text("lblExpiry").endsWith(QStringLiteral("осталось дней: %1").arg(left)),
                 qPrintable(w.text("lblExpiry")));
        QVERIFY(w.shown("btnRenew"));
        QVERIFY(!w.shown("btnCancelRenewal"));
        QVERIFY(!w.shown("lblRenewal"));
        QCOMPARE(TabWalk(w.button("butSertificatGet"), 2),
                 QStringList({"btnRenew", "edCheckPassword"}));
        QCOMPARE(test::SharedMnemonics(w.form()), QStringList());

        // A cancelled password dialog ends the renewal without a word, and sends nothing.
        setNextKeyPassword(std::nullopt);
        w.button("btnRenew")->click();
        QVERIFY(test::TakeBoxes().isEmpty());
        QVERIFY(!std::filesystem::exists(folder + "Renewal.ini"));

        // Renewed: the request sent beside the working pair, which stays as it was.
        setNextKeyPassword(QStringLiteral("Renew2"));
        const auto sent = BoxesOf([&] { w.button("btnRenew")->click(); }, {QMessageBox::Ok});
        QCOMPARE(TextsOf(sent), QString::fromUtf8(cq::kRenewalSentText));
        QVERIFY(!BusyTaskRunning());
        QVERIFY(std::filesystem::exists(folder + "Renewal.key"));
        QCOMPARE(ReadFile(folder + "Certificate.key"), workingKey);
        QVERIFY(w.shown("lblRenewal"));
        QCOMPARE(w.text("lblRenewal"),
                 QStringLiteral("Продление запрошено, новый сертификат ещё не выдан."));
        QVERIFY(w.shown("btnCancelRenewal"));
        QVERIFY(!w.shown("btnRenew"));
        QCOMPARE(TabWalk(w.button("butSertificatGet"), 2),
                 QStringList({"btnCancelRenewal", "edCheckPassword"}));
        QCOMPARE(test::SharedMnemonics(w.form()), QStringList());

        // Cancelling asks first ("No" by default); "No" keeps the pending files.
        auto cancel = BoxesOf([&] { w.button("btnCancelRenewal")->click(); }, {QMessageBox::No});
        QCOMPARE(cancel.size(), 1);
        QCOMPARE(cancel[0].defaultButton, QMessageBox::No);
        QVERIFY(std::filesystem::exists(folder + "Renewal.ini"));
        cancel = BoxesOf([&] { w.button("btnCancelRenewal")->click(); }, {QMessageBox::Yes});
        QCOMPARE(cancel.size(), 1);
        QVERIFY(!std::filesystem::exists(folder + "Renewal.ini"));
        QVERIFY(!std::filesystem::exists(folder + "Renewal.key"));
        QCOMPARE(ReadFile(folder + "Certificate.key"), workingKey);
        QVERIFY(w.shown("btnRenew"));
        QVERIFY(!w.shown("btnCancelRenewal"));
        QVERIFY(!w.shown("lblRenewal"));

        // Renewed again; the download before the issue finds the working certificate: not yet.
        setNextKeyPassword(QStringLiteral("Renew3"));
        QCOMPARE(TextsOf(BoxesOf([&] { w.button("btnRenew")->click(); }, {QMessageBox::Ok})),
                 QString::fromUtf8(cq::kRenewalSentText));
        const std::string workingCertificate = ReadFile(folder + "Certificate.cer");
        const QString notYet =
            TextsOf(BoxesOf([&] { w.button("butSertificatGet")->click(); }, {QMessageBox::Ok}));
        QVERIFY2(notYet.contains(QStringLiteral("не готов")), qPrintable(notYet));
        QCOMPARE(ReadFile(folder + "Certificate.cer"), workingCertificate);
        QVERIFY(w.shown("btnCancelRenewal"));

        // Issued: the download swaps the renewed pair in and keeps the previous one.
        server.issue(email);
        const QString swapped =
            TextsOf(BoxesOf([&] { w.button("butSertificatGet")->click(); }, {QMessageBox::Ok}));
        QVERIFY2(!swapped.isEmpty(), "no box after the swapping download");
        QVERIFY(ReadFile(folder + "Certificate.cer") != workingCertificate);
        QVERIFY(!std::filesystem::exists(folder + "Renewal.ini"));
        QVERIFY(HasPreviousPair(folder));
        QCOMPARE(w.text("lblRenewal"),
                 QStringLiteral("Сертификат продлён, прежний сохранён в папке сертификата."));
        QVERIFY(!w.shown("btnRenew")); // the new certificate is far from its end
        QVERIFY(!w.shown("btnCancelRenewal"));
        QVERIFY(!w.text("lblExpiry").contains(QStringLiteral("дней: %1").arg(left)));

        // The new pair checks with the renewal's password.
        w.find<QLineEdit>("edCheckPassword")->setText(QStringLiteral("Renew3"));
        const QString checked =
            TextsOf(BoxesOf([&] { w.button("butSertificatTest")->click(); }, {QMessageBox::Ok}));
        QVERIFY2(checked.contains(QStringLiteral("Ivan Petrov")), qPrintable(checked));
        QVERIFY(w.find("lblInstall")->isEnabled());
    }

    // A GOST pair is renewed in a new container of the provider that keeps the working key,
    // its password asked the provider's way; the working container stays.
    void theGostRenewalRoadThroughTheReceptionTab() {
        cq::test::SandboxServer server;
        Window w(kSettings);
        QVERIFY(w.start());
        auto software = cq::provider::MakeSoftwareGostProvider(cq::provider::kGostEngineId,
                                                               w.dir() / "containers/");
        if (!software)
            QSKIP("the GOST engine does not load here");
        cq::provider::ScopedProviders providers{cq::provider::ProviderRegistry({software})};
        cq::test::UseSandboxService(server, w.dir().path());
        cq::ui::test::ConnectionScope connection;
        const std::string email = "gost@mail.example";
        const std::string folder = cq::CertificateFolder(email);
        MakeWorkingGostPair(server, email, 10);
        const std::string workingRecord = ReadFile(folder + "Request.ini");
        const std::string workingCertificate = ReadFile(folder + "Certificate.cer");

        w.choose(email);
        QVERIFY(w.shown("btnRenew"));
        // Cancel in the provider's password dialog: a silent end, nothing pending.
        setNextContainerPassword(std::nullopt);
        w.button("btnRenew")->click();
        QVERIFY(test::TakeBoxes().isEmpty());
        QVERIFY(!std::filesystem::exists(folder + "Renewal.ini"));

        setNextContainerPassword(QStringLiteral("renewal pw"));
        QCOMPARE(TextsOf(BoxesOf([&] { w.button("btnRenew")->click(); }, {QMessageBox::Ok})),
                 QString::fromUtf8(cq::kRenewalSentText));
        QVERIFY(std::filesystem::exists(folder + "Renewal.ini"));
        QCOMPARE(ReadFile(folder + "Request.ini"), workingRecord);
        QVERIFY(w.shown("btnCancelRenewal"));

        // Cancelled: the pending files go, and the user learns that the new container stays.
        const auto cancelled = BoxesOf([&] { w.button("btnCancelRenewal")->click(); },
                                       {QMessageBox::Yes, QMessageBox::Ok});
        QCOMPARE(cancelled.size(), 2);
        QVERIFY2(cancelled[1].text.contains(QStringLiteral("\" оставлен")),
                 qPrintable(cancelled[1].text));
        QVERIFY(!std::filesystem::exists(folder + "Renewal.ini"));
        QCOMPARE(ReadFile(folder + "Request.ini"), workingRecord);
        QVERIFY(w.shown("btnRenew"));

        setNextContainerPassword(QStringLiteral("renewal pw 2"));
        QCOMPARE(TextsOf(BoxesOf([&] { w.button("btnRenew")->click(); }, {QMessageBox::Ok})),
                 QString::fromUtf8(cq::kRenewalSentText));

        const QString notYet =
            TextsOf(BoxesOf([&] { w.button("butSertificatGet")->click(); }, {QMessageBox::Ok}));
        QVERIFY2(notYet.contains(QStringLiteral("не готов")), qPrintable(notYet));
        QCOMPARE(ReadFile(folder + "Certificate.cer"), workingCertificate);

        server.issue(email);
        const QString swapped =
            TextsOf(BoxesOf([&] { w.button("butSertificatGet")->click(); }, {QMessageBox::Ok}));
        QVERIFY2(!swapped.isEmpty(), "no box after the swapping download");
        QVERIFY(ReadFile(folder + "Certificate.cer") != workingCertificate);
        QVERIFY(ReadFile(folder + "Request.ini") != workingRecord);
        QVERIFY(HasPreviousPair(folder));
        QCOMPARE(w.text("lblRenewal"),
                 QStringLiteral("Сертификат продлён, прежний сохранён в папке сертификата."));
        QVERIFY(!w.shown("btnRenew"));
    }

    // The new key's password dialog lets OK through only for a password that both fields agree
    // on and the key password rule takes; OK answers it, Cancel answers nothing.
    void theKeyPasswordDialogTakesOnlyAnAgreedPasswordTheRuleTakes_data() {
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("confirmation");
        QTest::addColumn<bool>("taken");
        QTest::newRow("agreed") << QStringLiteral("Renew 2") << QStringLiteral("Renew 2") << true;
        QTest::newRow("empty") << QString() << QString() << false;
        QTest::newRow("not agreed")
            << QStringLiteral("Renew2") << QStringLiteral("Renew3") << false;
        QTest::newRow("outside Windows-1251")
            << QStringLiteral("Ключ✓") << QStringLiteral("Ключ✓") << false;
    }
    void theKeyPasswordDialogTakesOnlyAnAgreedPasswordTheRuleTakes() {
        QFETCH(QString, password);
        QFETCH(QString, confirmation);
        QFETCH(bool, taken);
        bool okEnabled = !taken;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            dialog->findChild<QLineEdit*>(QStringLiteral("edRenewalPassword"))->setText(password);
            dialog->findChild<QLineEdit*>(QStringLiteral("edRenewalPassword2"))
                ->setText(confirmation);
            QPushButton* ok = dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
            okEnabled = ok->isEnabled();
            if (okEnabled)
                ok->click();
            else
                dialog->reject();
        });
        const std::optional<std::string> answer = AskNewKeyPassword("ivan@mail.example");
        QCOMPARE(okEnabled, taken);
        QCOMPARE(answer.has_value(), taken);
        if (taken)
            QCOMPARE(QString::fromStdString(*answer), password);
    }

    // The end as it is shown, and when the renewal is offered, by the certificate's days left.
    void theEndAndTheOfferFollowTheDaysLeft_data() {
        QTest::addColumn<int>("days"); // negative: expired
        QTest::addColumn<QString>("ending");
        QTest::addColumn<bool>("offered");
        QTest::newRow("ends in 10 days") << 10 << QStringLiteral("осталось дней: ") << true;
        QTest::newRow("expired") << -1 << QStringLiteral(", истёк") << true;
        QTest::newRow("far from its end") << 200 << QStringLiteral("осталось дней: ") << false;
    }
    void theEndAndTheOfferFollowTheDaysLeft() {
        QFETCH(int, days);
        QFETCH(QString, ending);
        QFETCH(bool, offered);
        cq::test::SandboxServer server;
        Window w(kSettings);
        QVERIFY(w.start());
        cq::test::UseSandboxService(server, w.dir().path());
        cq::ui::test::ConnectionScope connection;
        MakeWorkingPair(server, "end@mail.example", days);
        w.choose("end@mail.example");
        QVERIFY2(w.text("lblExpiry").contains(ending), qPrintable(w.text("lblExpiry")));
        QCOMPARE(w.shown("btnRenew"), offered);
        // Another address without a certificate shows no end and offers nothing.
        w.choose("other@mail.example");
        QVERIFY(!w.shown("lblExpiry"));
        QVERIFY(!w.shown("btnRenew"));
    }

    // At start the window tells once, after it is painted, which certificates of the e-mail list
    // are near their end; nothing when none is.
    void theStartTellsOnceOfCertificatesNearTheirEnd_data() {
        QTest::addColumn<int>("days");
        QTest::addColumn<bool>("told");
        QTest::newRow("ends in 10 days") << 10 << true;
        QTest::newRow("far from its end") << 200 << false;
    }
    void theStartTellsOnceOfCertificatesNearTheirEnd() {
        QFETCH(int, days);
        QFETCH(bool, told);
        cq::test::SandboxServer server;
        Window w(kSettings);
        {
            QVERIFY(w.start());
            cq::test::UseSandboxService(server, w.dir().path());
            cq::ui::test::ConnectionScope connection;
            MakeWorkingPair(server, "near@mail.example", days);
        }
        // A new run of the window on the same folder.
        w.create();
        PaintWatch paints(&w.form());
        bool paintedFirst = false;
        QtDialogs::clearNextAnswers();
        QtDialogs::takeAnsweredBoxes();
        QtDialogs::setNextAnswer(QMessageBox::Ok, [&] { paintedFirst = paints.painted; });
        QVERIFY(w.start());
        QVERIFY(QTest::qWaitFor([&] { return paints.painted; }));
        QApplication::processEvents();
        QApplication::processEvents();
        const QList<QtDialogs::Box> boxes = QtDialogs::takeAnsweredBoxes();
        QCOMPARE(boxes.size(), told ? 1 : 0);
        if (told) {
            QVERIFY(paintedFirst);
            QVERIFY2(boxes[0].text.contains(QStringLiteral("near@mail.example действует до ")),
                     qPrintable(boxes[0].text));
        }
        // Once a run: painting again tells nothing more.
        QtDialogs::setNextAnswer(QMessageBox::Ok);
        w.form().repaint();
        QApplication::processEvents();
        QCOMPARE(QtDialogs::takeAnsweredBoxes().size(), 0);
    }
};
CQ_UI_TEST(TestReceptionRenewal);

#include "test_ReceptionRenewal.moc"
