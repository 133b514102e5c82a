// Start-up and shutdown: the DEBUG switch reaching the connection, the address the window opens
// on, the connection closed once, the log's error box before the main window, the window's icon
// and desktop entry, and the run ending with the main window.
#include "UiTestSupport.h"

#include "TestSupport.h"
#include "app/AppServer.h"
#include "base/Errors.h"
#include "ui/Application.h"
#include "ui/BaseForm.h"
#include "ui/CertificateInfoPanel.h"
#include "ui/MainWindow.h"
#include "ui/Startup.h"

#include <QTest>

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFontInfo>
#include <QIcon>
#include <QScreen>
#include <QTabWidget>
#include <QTimer>
#include <csignal>

using namespace cq::ui;

namespace {

// What the run did with the connection and the windows.
struct Recorder {
    std::vector<bool> created; ///< the debug mode of each connection made
    std::vector<int32_t> closed;
    bool debugModeSeen = false;
};

StartupSteps RecordingSteps(Recorder& recorder, std::function<void(QWidget&)> whileShown = {}) {
    StartupSteps steps;
    steps.createConn = [&recorder](const cq::ConnectionOptions& options) {
        recorder.created.push_back(options.debugMode);
        return int32_t{4711};
    };
    steps.closeConn = [&recorder](int32_t handle) {
        recorder.closed.push_back(handle);
    };
    steps.initLog = [] {
    };
    steps.createMainForm = [&recorder, whileShown]() -> std::unique_ptr<QWidget> {
        recorder.debugModeSeen = cq::AppServer() && cq::AppServer()->DebugMode;
        auto form = std::make_unique<MainWindow>();
        QWidget* shown = form.get();
        QTimer::singleShot(0, shown, [shown, whileShown] {
            if (whileShown)
                whileShown(*shown);
            else
                shown->close();
        });
        return form;
    };
    return steps;
}

int Run(const QStringList& arguments, const StartupSteps& steps) {
    std::vector<QByteArray> bytes{"certquorix"};
    for (const QString& argument : arguments)
        bytes.push_back(argument.toUtf8());
    std::vector<char*> argv;
    for (QByteArray& b : bytes)
        argv.push_back(b.data());
    argv.push_back(nullptr);
    int argc = static_cast<int>(bytes.size());
    return RunProgram(argc, argv.data(), steps);
}

} // namespace

class TestStartup : public QObject {
    Q_OBJECT
private slots:
    void startAddressOpensTheReceptionTab_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("tab");
        QTest::addColumn<QString>("address");
        QTest::newRow("none") << QStringList{} << 0 << QString();
        QTest::newRow("--email A")
            << QStringList{"--email", "ivan@example.ru"} << 1 << QStringLiteral("ivan@example.ru");
        QTest::newRow("--email=A")
            << QStringList{"--email=anna@example.ru"} << 1 << QStringLiteral("anna@example.ru");
    }

    void startAddressOpensTheReceptionTab() {
        QFETCH(QStringList, arguments);
        QFETCH(int, tab);
        QFETCH(QString, address);
        cq::test::TempDir program;
        cq::test::UseProgramFolder(program.path());
        // The address given at start wins over the one the settings remember.
        cq::test::WriteFile(program / "CertQuorix.ini",
                            "[Cert]\r\nEmail=typed@x.y\r\n\r\n[Proxy]\r\nUse=0\r\n");
        Recorder recorder;
        int shownTab = -1;
        QString shownAddress;
        const StartupSteps steps = RecordingSteps(recorder, [&](QWidget& shown) {
            auto& form = static_cast<MainWindow&>(shown);
            const auto look = [&] {
                shownTab = form.tabs()->currentIndex();
                shownAddress =
                    form.findChild<QComboBox*>(QStringLiteral("comBoxMail"))->currentText();
                form.close();
            };
            if (form.initialised())
                look();
            else
                QObject::connect(&form, &MainWindow::deferredInitDone, &form, look);
        });
        QCOMPARE(Run(arguments, steps), 0);
        QCOMPARE(shownTab, tab);
        if (!address.isEmpty())
            QCOMPARE(shownAddress, address);
    }

    void debugSwitchReachesTheConnection_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("debug");
        QTest::newRow("no argument") << QStringList{} << false;
        QTest::newRow("bare word") << QStringList{"DEBUG"} << false;
        QTest::newRow("slash, small letters") << QStringList{"/debug"} << true;
        QTest::newRow("hyphen, mixed case") << QStringList{"-DeBuG"} << true;
        QTest::newRow("backslash, capitals") << QStringList{"\\DEBUG"} << true;
        QTest::newRow("a letter more") << QStringList{"-DEBUGX"} << false;
        QTest::newRow("a blank more") << QStringList{"-DEBUG "} << false;
        QTest::newRow("second argument") << QStringList{"x", "-DEBUG"} << false;
    }

    void debugSwitchReachesTheConnection() {
        QFETCH(QStringList, arguments);
        QFETCH(bool, debug);
        Recorder recorder;
        QCOMPARE(Run(arguments, RecordingSteps(recorder)), 0);
        QCOMPARE(recorder.created.size(), size_t{1});
        QCOMPARE(recorder.created.front(), debug);
        QCOMPARE(recorder.debugModeSeen, debug);
    }

    void connectionClosedOnceWithItsHandleAfterTheWindowCloses() {
        Recorder recorder;
        int32_t handleDuringRun = 0;
        std::vector<int32_t> closedDuringRun;
        QCOMPARE(Run({}, RecordingSteps(recorder,
                                        [&](QWidget& window) {
                                            handleDuringRun = cq::AppServer()->ConnectionHandle;
                                            closedDuringRun = recorder.closed;
                                            window.close();
                                        })),
                 0);
        QCOMPARE(handleDuringRun, 4711);
        QVERIFY(closedDuringRun.empty());
        QCOMPARE(recorder.closed, std::vector<int32_t>{4711});
        QVERIFY(cq::AppServer() == nullptr);
    }

    void connectionClosedWhenStartUpFails() {
        Recorder recorder;
        StartupSteps steps = RecordingSteps(recorder);
        steps.createMainForm = []() -> std::unique_ptr<QWidget> {
            throw cq::Exception("no window");
        };
        QVERIFY_THROWS_EXCEPTION(cq::Exception, Run({}, steps));
        QCOMPARE(recorder.closed, std::vector<int32_t>{4711});
        QVERIFY(cq::AppServer() == nullptr);
    }

    void logStartFailureShowsItsBoxBeforeTheMainWindow() {
        Recorder recorder;
        StartupSteps steps = RecordingSteps(recorder);
        steps.initLog = [] {
            throw cq::Exception("Не удалось подготовить папку лога");
        };
        std::optional<QtDialogs::Box> box;
        steps.createMainForm = [inner = steps.createMainForm, &box] {
            const auto boxes = QtDialogs::takeAnsweredBoxes();
            if (!boxes.isEmpty())
                box = boxes.front();
            return inner();
        };
        test::TakeBoxes();
        QtDialogs::setNextAnswer(QMessageBox::Ok);
        QtDialogs::setNextAnswer(QMessageBox::Ok); // taken only by a box that should not be
        // The window opens after the box, and the run goes on normally.
        QCOMPARE(Run({}, steps), 0);
        QCOMPARE(test::TakeBoxes().size(), 0);
        QVERIFY(box.has_value());
        QCOMPARE(box->caption, QStringLiteral("Инициализация Log-а."));
        QCOMPARE(box->text, QStringLiteral("Не удалось подготовить папку лога"));
        QCOMPARE(box->icon, QMessageBox::Critical);
    }

    // The desktop notice's action starts the window on an address: it opens on the reception
    // tab with that address chosen, not the one the request tab holds.
    void theMainWindowCarriesTheProgramIconAndDesktopEntry() {
        QApplication::setWindowIcon(QIcon());
        QGuiApplication::setDesktopFileName(QString());
        Recorder recorder;
        QIcon shownIcon;
        QCOMPARE(Run({}, RecordingSteps(recorder,
                                        [&](QWidget& window) {
                                            shownIcon = window.windowIcon();
                                            window.close();
                                        })),
                 0);
        QVERIFY(!shownIcon.isNull());
        const QList<QSize> sizes = shownIcon.availableSizes();
        for (const int size : {16, 48}) {
            QVERIFY2(sizes.contains(QSize(size, size)), qPrintable(QString::number(size)));
            QCOMPARE(shownIcon.pixmap(size).size(), QSize(size, size));
        }
        // Every size given is decoded and kept: none beyond a task switcher's at this scale.
        const int largest = qRound(64 * QGuiApplication::primaryScreen()->devicePixelRatio());
        for (const QSize& size : sizes)
            QVERIFY2(size.width() <= largest, qPrintable(QString::number(size.width())));
        QCOMPARE(QGuiApplication::desktopFileName(), QStringLiteral("org.certquorix.CertQuorix"));
    }

    void aTerminationSignalEndsTheRunTheOrdinaryWay() {
        for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
            Recorder recorder;
            QCOMPARE(Run({}, RecordingSteps(recorder, [signal](QWidget&) { ::raise(signal); })), 0);
            QCOMPARE(recorder.closed, std::vector<int32_t>{4711});
        }
    }

    void closingTheMainWindowEndsTheRunWhileThePanelIsOpen() {
        Recorder recorder;
        bool panelWasShown = false;
        QCOMPARE(Run({}, RecordingSteps(recorder,
                                        [&](QWidget& window) {
                                            ShowHelpInfo(kHelpCertificateFilesContext, nullptr);
                                            panelWasShown = InformationPanel()->isVisible();
                                            window.close();
                                        })),
                 0);
        QVERIFY(panelWasShown);
        QVERIFY(InformationPanel() == nullptr); // freed at the end of the run
        QCOMPARE(recorder.closed.size(), size_t{1});
    }

private:
    static constexpr int kHelpCertificateFilesContext = 99;
};

CQ_UI_TEST(TestStartup);

// The window's start loads only what its first paint needs: the HTTP library and the libraries
// it brings are opened by the first request. Its own class, so its own process: no request of
// another test has loaded them before.
class TestStartupLoadsNoTransport : public QObject {
    Q_OBJECT
private slots:
    void theShownWindowHasNotLoadedTheHttpLibrary() {
        cq::test::TempDir dir;
        cq::test::UseProgramFolder(dir.path());
        cq::test::WriteFile(dir / "CertQuorix.ini", "[Proxy]\r\nUse=0\r\n");
        MainWindow form;
        QVERIFY(test::ShowActive(form));
        QVERIFY(QTest::qWaitFor([&form] { return form.initialised(); }));
        QFile maps(QStringLiteral("/proc/self/maps"));
        QVERIFY(maps.open(QIODevice::ReadOnly));
        QVERIFY(!maps.readAll().contains("libcurl"));
        FreeInformationPanel();
    }
};
CQ_UI_TEST(TestStartupLoadsNoTransport);

// The program's default font is the form's, so making the window loads no other face (each line
// edit lays its text out once in the default font while it is made); menus and tool tips keep
// the desktop's font. Its own class, so its own process: no other test has loaded a font before.
class TestStartupLoadsOnlyTheFormFont : public QObject {
    Q_OBJECT
private slots:
    void theShownWindowHasMappedNoOtherFontFile() {
        const QString formFace = QFontInfo(BaseForm::formFont()).family().remove(QLatin1Char(' '));
        if (formFace != QLatin1String("LiberationSans"))
            QSKIP("the form's font (fonts-liberation) is not installed");
        const QFont desktop = QApplication::font();
        InstallFormFont();
        QCOMPARE(QApplication::font("QMenu"), desktop);
        QCOMPARE(QApplication::font("QTipLabel"), desktop);
        cq::test::TempDir dir;
        cq::test::UseProgramFolder(dir.path());
        MainWindow form;
        QVERIFY(test::ShowActive(form));
        QVERIFY(QTest::qWaitFor([&form] { return form.initialised(); }));
        QFile maps(QStringLiteral("/proc/self/maps"));
        QVERIFY(maps.open(QIODevice::ReadOnly));
        for (const QByteArray& line : maps.readAll().split('\n')) {
            const QByteArray file = line.mid(line.lastIndexOf('/') + 1);
            if (file.endsWith(".ttf") || file.endsWith(".otf") || file.endsWith(".pfb"))
                QVERIFY2(file.startsWith(formFace.toLatin1()), file.constData());
        }
        FreeInformationPanel();
        QApplication::setFont(desktop);
    }
};
CQ_UI_TEST(TestStartupLoadsOnlyTheFormFont);

#include "test_Startup.moc"
