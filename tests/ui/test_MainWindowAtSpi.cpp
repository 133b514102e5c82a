// The window as assistive technology sees it: CTest runs this class inside a headless Weston on
// a session bus of its own with the accessibility bus behind it, and a separate process
// (atspi-probe.py, through AT-SPI as a screen reader would) finds the window's controls by role
// and name and fills fields through the EditableText interface, which needs no keyboard focus.
#include "UiTestSupport.h"

#include "TestSupport.h"
#include "ui/CertificateInfoPanel.h"
#include "ui/MainWindow.h"
#include "ui/RuleLineEdit.h"

#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

using namespace cq::ui;

namespace {

// Debian's own Python: GObject's bindings (python3-gi) are installed for it, not for another
// Python that may come first on PATH.
const QString kPython = QStringLiteral("/usr/bin/python3");

QString ProbeScript() {
    return QStringLiteral(CQ_SOURCE_DIR "/tests/ui/atspi-probe.py");
}

// Runs the probe against this process while the event loop keeps answering its questions.
QJsonObject Probe(const QStringList& sets) {
    QProcess probe;
    probe.start(kPython,
                QStringList{ProbeScript(), QString::number(QCoreApplication::applicationPid())} +
                    sets);
    if (!probe.waitForStarted())
        return {};
    [&] {
        QTRY_VERIFY_WITH_TIMEOUT(probe.state() == QProcess::NotRunning, 120000);
    }();
    const QByteArray errors = probe.readAllStandardError();
    if (probe.exitCode() != 0)
        qWarning("probe failed (%d): %s", probe.exitCode(), errors.constData());
    return QJsonDocument::fromJson(probe.readAllStandardOutput()).object();
}

struct Control {
    QString role;
    QString name;
    bool usable; ///< shows and is enabled
};

bool HasControl(const QJsonObject& probe, const Control& wanted) {
    for (const QJsonValue control : probe.value(QStringLiteral("controls")).toArray())
        if (control[QStringLiteral("role")] == wanted.role &&
            control[QStringLiteral("name")] == wanted.name &&
            control[QStringLiteral("usable")].toBool() == wanted.usable)
            return true;
    return false;
}

} // namespace

class TestMainWindowAtSpiWayland : public QObject {
    Q_OBJECT
private slots:
    void init() {
        if (QGuiApplication::platformName() != QLatin1String("wayland"))
            QSKIP("not a Wayland session");
        if (QProcess::execute(kPython,
                              {QStringLiteral("-c"), QStringLiteral("import gi; "
                                                                    "gi.require_version('Atspi', "
                                                                    "'2.0')")}) != 0)
            QSKIP("python3 with GObject's Atspi is not installed");
        test::TakeBoxes();
    }

    void controlsAreFoundByRoleAndNameAndFieldsKeepTheirRules() {
        cq::test::TempDir dir;
        cq::test::UseProgramFolder(dir.path());
        MainWindow form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QVERIFY(QTest::qWaitFor([&form] { return form.initialised(); }));

        const QString mail = QStringLiteral("Эл. почта");
        const QString password = QStringLiteral("Пароль");
        const QJsonObject found =
            Probe({QStringLiteral("set"), mail, QStringLiteral("Иван@x.y"), // not Latin
                   QStringLiteral("set"), mail, QStringLiteral("ivan@x.y"), QStringLiteral("set"),
                   password, QStringLiteral("pw中文Ж"), // not Windows-1251
                   QStringLiteral("set"), password, QStringLiteral("secret-Ж")});
        QVERIFY2(!found.isEmpty(), "the probe gave no answer");

        const QList<Control> controls = {
            {QStringLiteral("text"), mail, true},
            {QStringLiteral("text"), QStringLiteral("ФИО"), true},
            {QStringLiteral("password text"), password, true},
            {QStringLiteral("password text"), QStringLiteral("Подтверждение"), true},
            {QStringLiteral("check box"), QStringLiteral("Открытый пароль"), true},
            {QStringLiteral("check box"), QStringLiteral("Использовать прокси"), true},
            // The proxy's fields are there while its area is hidden, and not reachable.
            {QStringLiteral("text"), QStringLiteral("Прокси сервер"), false},
            // Sending waits for a complete subject.
            {QStringLiteral("push button"), QStringLiteral("Отправить запрос"), false},
            {QStringLiteral("push button"), QStringLiteral("Сохранить"), true},
            {QStringLiteral("page tab"), QStringLiteral("Запрос на сертификат"), true},
            {QStringLiteral("page tab"), QStringLiteral("Получение сертификата"), true},
        };
        for (const Control& control : controls)
            QVERIFY2(HasControl(found, control),
                     qPrintable(control.role + QStringLiteral(": ") + control.name));

        // What the probe read back after each change, and what the fields hold at the end.
        const QJsonArray sets = found.value(QStringLiteral("sets")).toArray();
        QCOMPARE(sets.size(), 4);
        const QStringList readBack = {QString(), QStringLiteral("ivan@x.y"), QString()};
        for (int i = 0; i < readBack.size(); ++i)
            QCOMPARE(sets[i][QStringLiteral("now")].toString(), readBack[i]);
        // A password's text is never read out, whatever it holds.
        QVERIFY(!sets[3][QStringLiteral("now")].toString().contains(QStringLiteral("secret")));
        QCOMPARE(form.findChild<RuleLineEdit*>(QStringLiteral("edEmail"))->text(),
                 QStringLiteral("ivan@x.y"));
        QCOMPARE(form.findChild<RuleLineEdit*>(QStringLiteral("edPassword"))->text(),
                 QStringLiteral("secret-Ж"));
        QVERIFY(test::TakeBoxes().isEmpty());
        FreeInformationPanel();
    }
};
CQ_UI_TEST(TestMainWindowAtSpiWayland);

#include "test_MainWindowAtSpi.moc"
