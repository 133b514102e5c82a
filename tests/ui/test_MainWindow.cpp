// The main window driven through its widgets: the start from the settings file, the proxy
// area, the typing and paste filters, the request buttons' rules, the keyboard, the hint box,
// the help entry points, the reception tab's state for each kind of certificate folder, and
// saving. TestMainWindowRoad walks the RSA request to the export against sandbox-ca.
#include "UiTestSupport.h"

#include "SandboxServer.h"
#include "TestSupport.h"
#include "app/AppServer.h"
#include "base/Cancellation.h"
#include "base/Dialogs.h"
#include "base/ShellOpenCodes.h"
#include "certs/GostRequest.h"
#include "certs/RsaRequest.h"
#include "certs/Submission.h"
#include "log/Identity.h"
#include "log/Log.h"
#include "platform/Process.h"
#include "provider/GostKey.h"
#include "provider/ProviderRegistry.h"
#include "provider/SoftwareGostProvider.h"
#include "settings/CertFolders.h"
#include "settings/EmailList.h"
#include "settings/SettingsValues.h"
#include "transport/Connection.h"
#include "ui/BusyTask.h"
#include "ui/CertificateInfoPanel.h"
#include "ui/ContainerPasswordDialog.h"
#include "ui/FieldRule.h"
#include "ui/HelpText.h"
#include "ui/KeyboardIndicator.h"
#include "ui/MainWindow.h"
#include "ui/RichTextBox.h"
#include "ui/Startup.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDropEvent>
#include <QEnterEvent>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QScopeGuard>
#include <QTabWidget>
#include <QTest>
#include <QThreadPool>
#include <QTimer>
#include <QtTest/qtestspontaneevent.h>

#include <csignal>
#include <filesystem>
#include <future>
#include <mutex>

using namespace cq::ui;
using cq::test::ReadFile;
using cq::test::TempDir;
using cq::test::WriteFile;

namespace {

std::string CrLf(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

void ClearProxyEnvironment() {
    for (const char* name : {"https_proxy", "http_proxy", "HTTPS_PROXY", "HTTP_PROXY"})
        qunsetenv(name);
}

// A program folder with a settings file and the main window started on it.
class WindowFixture {
public:
    explicit WindowFixture(const std::string& settings) {
        cq::test::UseProgramFolder(dir_.path());
        WriteFile(dir_ / "CertQuorix.ini", CrLf(settings));
        form_ = std::make_unique<MainWindow>();
    }
    ~WindowFixture() {
        FreeInformationPanel();
        form_.reset();
    }
    bool start() {
        if (!test::ShowActive(*form_))
            return false;
        return QTest::qWaitFor([this] { return form_->initialised(); });
    }
    MainWindow& form() { return *form_; }
    const TempDir& dir() const { return dir_; }
    template <typename W = QWidget> W* find(const char* name) {
        auto* widget = form_->findChild<W*>(QLatin1String(name));
        if (!widget)
            qFatal("no control %s", name);
        return widget;
    }
    QLineEdit* edit(const char* name) { return find<QLineEdit>(name); }
    QPushButton* button(const char* name) { return find<QPushButton>(name); }
    QLabel* label(const char* name) { return find<QLabel>(name); }

private:
    TempDir dir_;
    std::unique_ptr<MainWindow> form_;
};

const char* const kNoProxy = "[Proxy]\nUse=0\n";
const char* const kTwoAddresses = "[Email]\nList=a@x.y|b@x.y\n";

QString PanelText() {
    return InformationPanel() ? InformationPanel()->textBox()->toPlainText() : QString();
}

// The text the information panel shows for a context.
QString HelpTextOf(int context) {
    ShowHelpInfo(context, nullptr);
    const QString text = PanelText();
    FreeInformationPanel();
    return text;
}

QLabel* LabelOf(QWidget* edit) {
    const auto labels = edit->window()->findChildren<QLabel*>();
    for (QLabel* label : labels) {
        if (label->buddy() == edit)
            return label;
    }
    return nullptr;
}

void Hover(QWidget* widget, bool enter) {
    if (enter) {
        QEnterEvent event(QPointF(2, 2), QPointF(2, 2), widget->mapToGlobal(QPointF(2, 2)));
        QApplication::sendEvent(widget, &event);
    } else {
        QEvent event(QEvent::Leave);
        QApplication::sendEvent(widget, &event);
    }
}

// Types a text key by key; letters QTest cannot name (Cyrillic) come as keys with their text.
void TypeText(QWidget* widget, const QString& text) {
    for (const QChar c : text) {
        if (c.unicode() < 128) {
            QTest::keyClick(widget, c.toLatin1());
        } else {
            QTest::sendKeyEvent(QTest::Press, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
            QTest::sendKeyEvent(QTest::Release, widget, Qt::Key_unknown, QString(c),
                                Qt::NoModifier);
        }
    }
}

void SetPaste(const QString& text) {
    QApplication::clipboard()->setText(text);
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void init() {
        test::TakeBoxes();
        ClearProxyEnvironment();
        beeps_ = 0;
        MainWindow::setBeeper([this] { ++beeps_; });
    }
    void cleanup() {
        MainWindow::setBeeper({});
        MainWindow::setShellOpener({});
        ClearProxyEnvironment();
        QVERIFY(test::TakeBoxes().isEmpty());
    }

    void theDesignedWindowOpensWithItsCaptionsAndFocus() {
        WindowFixture w("[Proxy]\nUse=1\nServer=proxy.local\nPort=3128\n");
        QVERIFY(w.start());
        QCOMPARE(w.form().windowTitle(),
                 QStringLiteral("QUORIX Cert - запрос/получение сертификатов"));
        QCOMPARE(w.form().size(), QSize(437, 525));
        QCOMPARE(w.form().minimumSize(), w.form().maximumSize());
        QCOMPARE(w.find("PControl")->height(), 348);
        QCOMPARE(w.find("pnlProxy")->height(), 97);
        QCOMPARE(w.form().tabs()->currentIndex(), 0);
        QCOMPARE(QApplication::focusWidget(), w.edit("edState"));
        QCOMPARE(w.edit("edCountry")->text(), QStringLiteral("ru"));
        QCOMPARE(w.label("lblProxiInfo")->text(),
                 QStringLiteral("Настройки прокси считаны из ini файла"));
        QCOMPARE(w.edit("edProxyServer")->text(), QStringLiteral("proxy.local"));
        QVERIFY(!w.button("butSendSert")->isEnabled());
        QVERIFY(!w.button("butStartGost")->isEnabled());
        QVERIFY(w.find("pnlSendRSA")->isVisible());
        QVERIFY(!w.find("pnlSendGost")->isVisible());
        QVERIFY(w.label("lblAstMail")->isVisible());
        QVERIFY(!w.label("lblAstCountry")->isVisible());
        QCOMPARE(FieldRule::of(w.edit("edEmail"))->maxChars(), 40);

        QCOMPARE(w.edit("edPassword")->echoMode(), QLineEdit::Password);
        QCOMPARE(w.edit("edEmail")->property("helpContext").toInt(), 13);
        // Offscreen the layout is unknown; a released modifier starts the one-shot refresh.
        auto* indicator = w.form().findChild<KeyboardIndicator*>();
        QVERIFY(indicator && indicator->isVisible());
        QCOMPARE(indicator->caption(), QString()); // nothing rather than a guess
        QVERIFY(!indicator->refreshTimer()->isActive());
        QTest::keyRelease(w.edit("edState"), Qt::Key_Shift);
        QVERIFY(indicator->refreshTimer()->isActive());
        // The window is centred in the available area.
        const QRect area = w.form().screen()->availableGeometry();
        QVERIFY(qAbs(w.form().frameGeometry().center().x() - area.center().x()) <= 1);
    }

    void proxyUseOffHidesThePanelAndTickingBringsItBack() {
        WindowFixture w("[Proxy]\nUse=0\nServer=proxy.local\nPort=3128\n");
        QVERIFY(w.start());
        QVERIFY(!w.find("pnlProxy")->isVisible());
        QCOMPARE(w.form().height(), 525 - 97);
        QCOMPARE(w.find("PControl")->y(), 26);
        // Centred with the height it has after the panel went, not the designed one.
        const QRect area = w.form().screen()->availableGeometry();
        const QRect frame = w.form().frameGeometry();
        QCOMPARE(frame.top() - area.top(), (area.height() - frame.height()) / 2);
        QCOMPARE(frame.left() - area.left(), (area.width() - frame.width()) / 2);
        w.find<QCheckBox>("chBoxProxyUse")->click();
        QVERIFY(w.find("pnlProxy")->isVisible());
        QCOMPARE(w.form().height(), 525);
        QVERIFY(cq::Settings().ProxyUse);
        // The edits feed the settings values at once, trimmed.
        w.edit("edProxyServer")->setText(QStringLiteral("  other.proxy "));
        QCOMPARE(cq::Settings().ProxyServer, std::string("other.proxy"));
    }

    void withoutAProxySectionTheSystemProxyIsTaken() {
        qputenv("https_proxy", "http://sys.proxy.example:8081");
        WindowFixture w("[Cert]\nCountry=ru\n");
        QVERIFY(w.start());
        QVERIFY(w.find<QCheckBox>("chBoxProxyUse")->isChecked());
        QCOMPARE(w.edit("edProxyServer")->text(), QStringLiteral("sys.proxy.example"));
        QCOMPARE(w.edit("edProxyPort")->text(), QStringLiteral("8081"));
        QVERIFY(w.edit("edProxyLogin")->text().isEmpty());
        QVERIFY(w.edit("edProxyPassword")->text().isEmpty());
        QCOMPARE(w.label("lblProxiInfo")->text(),
                 QStringLiteral("Настройки прокси считаны из Internet Explorer"));
        QVERIFY(w.label("lblProxiInfo")->toolTip().isEmpty());
    }

    void settingsFillTheFieldsAndTheModes() {
        WindowFixture w(std::string("[Cert]\nCountry=rus\nState=Moscow\nCommonName=Ivan\n"
                                    "Email=ivan@mail.example\nOpenPassw=1\nPassword=open pw\n"
                                    "Gost=1\n") +
                        kNoProxy);
        // Without providers here the mode switch reports that, once, and the mode stays GOST.
        cq::provider::ScopedProviders none{cq::provider::ProviderRegistry()};
        QtDialogs::setNextAnswer(QMessageBox::Ok);
        QVERIFY(w.start());
        QCOMPARE(test::TakeBoxes().size(), 1);
        QCOMPARE(w.edit("edCountry")->text(), QStringLiteral("rus")); // shown in full
        QCOMPARE(w.edit("edEmail")->text(), QStringLiteral("ivan@mail.example"));
        QCOMPARE(w.edit("edPassword")->text(), QStringLiteral("open pw"));
        QCOMPARE(w.edit("edPassword")->echoMode(), QLineEdit::Normal);
        QVERIFY(!w.edit("edPassword2")->isEnabled());
        QCOMPARE(w.find<QComboBox>("cBoxRsaGost")->currentText(), QStringLiteral("ГОСТ"));
        QVERIFY(w.find("pnlSendGost")->isVisible());
        QVERIFY(!w.find("pnlSendRSA")->isVisible());
        for (const char* mark : {"lblAstCountry", "lblAstState", "lblAstLocality",
                                 "lblAstOrganization", "lblCommonName", "lblAstMail"})
            QVERIFY2(w.label(mark)->isVisible(), mark);
        QCOMPARE(QApplication::focusWidget(), w.edit("edState")); // the switch kept the focus
        // Back to RSA hides the marks.
        w.find<QComboBox>("cBoxRsaGost")->setCurrentIndex(0);
        QVERIFY(w.find("pnlSendRSA")->isVisible());
        QVERIFY(!w.label("lblAstCountry")->isVisible());
    }

    void gostModeWithoutProvidersReportsAndKeepsTheStartButtonOff() {
        WindowFixture w(kNoProxy);
        QVERIFY(w.start());
        cq::provider::ScopedProviders none{cq::provider::ProviderRegistry()};
        QtDialogs::setNextAnswer(QMessageBox::Ok);
        w.find<QComboBox>("cBoxRsaGost")->setCurrentIndex(1);
        const auto boxes = test::TakeBoxes();
        QCOMPARE(boxes.size(), 1);
        QVERIFY(boxes[0].text.contains(QString::fromUtf8(cq::kNoProviderText)));
        QVERIFY(w.find("pnlSendGost")->isVisible());
        QCOMPARE(w.find<QComboBox>("cbProvName")->count(), 0);
        QVERIFY(!w.button("butStartGost")->isEnabled());
    }

    void typingFiltersBeepAndDiscard() {
        WindowFixture w(kNoProxy);
        QVERIFY(w.start());
        struct Case {
            const char* field;
            const char* typed;
            const char* kept;
            int beeps;
        };
        for (const Case& c :
             {Case{"edEmail", "A", "", 1}, Case{"edEmail", "a_b@x.y", "a_b@x.y", 0},
              Case{"edEmail", "a b", "ab", 1}, Case{"edCommonName", "_", "", 1},
              Case{"edCommonName", "@", "@", 0},
              Case{"edCommonName", "Ivan Petrov-2.", "Ivan Petrov-2.", 0},
              Case{"edCommonName", "a,'b", "ab", 2}, Case{"edPassword", "P,_ ", "P,_ ", 0},
              Case{"edCountry", "rus", "ru", 0}}) {
            QLineEdit* edit = w.edit(c.field);
            edit->clear();
            edit->setFocus();
            beeps_ = 0;
            QTest::keyClicks(edit, QString::fromUtf8(c.typed));
            QCOMPARE(edit->text(), QString::fromUtf8(c.kept));
            QCOMPARE(beeps_, c.beeps);
        }
        // Backspace passes the filter.
        QLineEdit* mail = w.edit("edEmail");
        mail->setText(QStringLiteral("ab"));
        mail->setFocus();
        mail->end(false);
        QTest::keyClick(mail, Qt::Key_Backspace);
        QCOMPARE(mail->text(), QStringLiteral("a"));
        QCOMPARE(beeps_, 0);
    }

    void pasteFilterRefusesForeignCharactersWithTheWholeText() {
        WindowFixture w(kNoProxy);
        QVERIFY(w.start());
        QLineEdit* name = w.edit("edCommonName");
        name->setFocus();
        SetPaste(QStringLiteral("Ivan Petrov 2"));
        QTest::keyClick(name, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(name->text(), QStringLiteral("Ivan Petrov 2"));

        SetPaste(QStringLiteral("Petrov, Ivan"));
        QtDialogs::setNextAnswer(QMessageBox::Ok);
        QTest::keyClick(name, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(name->text(), QStringLiteral("Ivan Petrov 2"));
        auto boxes = test::TakeBoxes();
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].text, QStringLiteral("Попытка вставить текст \"Petrov, Ivan\" содержащий "
                                               "недопустимые символы."));
        QCOMPARE(boxes[0].icon, QMessageBox::Critical);

        QLineEdit* mail = w.edit("edEmail");
        mail->setFocus();
        SetPaste(QStringLiteral("Ivan@x.y"));
        QtDialogs::setNextAnswer(QMessageBox::Ok);
        QTest::keyClick(mail, Qt::Key_V, Qt::ControlModifier);
        QVERIFY(mail->text().isEmpty());
        QCOMPARE(test::TakeBoxes().size(), 1);

        QLineEdit* password = w.edit("edPassword");
        password->setFocus();
        SetPaste(QStringLiteral("Пароль, 'очень длинный'"));
        QTest::keyClick(password, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(password->text(), QStringLiteral("Пароль, 'очень д")); // cut to 16 by the edit
    }

    // Dropping text on a field, or pasting the X11 selection with the middle button, is a paste
    // too: the same filter refuses foreign characters with the same box.
    void droppedAndSelectionTextGoThroughThePasteFilter() {
        WindowFixture w(kNoProxy);
        QVERIFY(w.start());
        QLineEdit* name = w.edit("edCommonName");
        const auto drop = [name](const QString& text) {
            QMimeData data;
            data.setText(text);
            const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction;
            QDragEnterEvent enter(QPoint(5, 5), actions, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(name, &enter); // makes the field the drag's target
            QDropEvent event(QPointF(5, 5), actions, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(name, &event);
            return event.dropAction();
        };
        QCOMPARE(drop(QStringLiteral("Ivan")), Qt::CopyAction);
        QCOMPARE(name->text(), QStringLiteral("Ivan"));
        QtDialogs::setNextAnswer(QMessageBox::Ok);
        drop(QStringLiteral("Иван Петров"));
        QCOMPARE(name->text(), QStringLiteral("Ivan"));
        auto boxes = test::TakeBoxes();
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].text, QStringLiteral("Попытка вставить текст \"Иван Петров\" "
                                               "содержащий недопустимые символы."));

        // Only platforms with a selection (X11) paste with the middle button.
        QClipboard* clipboard = QApplication::clipboard();
        if (!clipboard->supportsSelection())
            QSKIP("no selection clipboard on this platform");
        clipboard->setText(QStringLiteral("Петров"), QClipboard::Selection);
        QtDialogs::setNextAnswer(QMessageBox::Ok);
        QTest::mouseClick(name, Qt::MiddleButton);
        QCOMPARE(name->text(), QStringLiteral("Ivan"));
        QCOMPARE(test::TakeBoxes().size(), 1);
    }

    // Every route text takes into a field meets the field's rules: a refused text never ends
    // up in the field, a paste route refuses with the box, over-long pastes are cut to the width.
    void everyRouteIntoAFieldMeetsItsRules() {
        WindowFixture w(kNoProxy);
        QVERIFY(w.start());
        enum Route { Typing, CtrlV, ShiftInsert, Drop, InputMethod, Accessible, AccessibleInsert };
        const char* const routeNames[] = {"typing",
                                          "Ctrl+V",
                                          "Shift+Insert",
                                          "drop",
                                          "input method",
                                          "accessible setText",
                                          "accessible insertText"};
        struct Case {
            const char* field;
            const char* text;
            const char* typed;  // what typing leaves
            const char* pasted; // what the paste routes leave ("" and a box when refused)
            bool refusedBox;
        };
        const QString longPassword = QStringLiteral("abcdefghijklmnopqrstuvwxyz0123");
        const Case cases[] = {
            {"edCommonName", "Пётр, ONeil", " ONeil", "", true},
            {"edEmail", "Ivan@x.y", "van@x.y", "", true},
            {"edCountry", "rus", "ru", "ru", false},
            {"edPassword", "abcdefghijklmnopqrstuvwxyz0123", "abcdefghijklmnop", "abcdefghijklmnop",
             false},
            {"edPassword2", "abcdefghijklmnopqrstuvwxyz0123", "abcdefghijklmnop",
             "abcdefghijklmnop", false},
            {"edCheckPassword", "abcdefghijklmnopqrstuvwxyz0123", "abcdefghijklmnop",
             "abcdefghijklmnop", false},
            // A key's password holds only what Windows-1251 can write.
            {"edPassword", "pw中文Ж€", "pwЖ€", "", true},
            {"edPassword2", "pw中文Ж€", "pwЖ€", "", true},
            {"edCheckPassword", "pw中文Ж€", "pwЖ€", "", true},
        };
        for (const Case& c : cases) {
            for (int route = Typing; route <= AccessibleInsert; ++route) {
                const QString name = QString::fromUtf8(c.field) + QStringLiteral(" by ") +
                                     QLatin1String(routeNames[route]);
                QLineEdit* edit = w.edit(c.field);
                if (route == Typing || route == CtrlV || route == ShiftInsert)
                    w.form()
                        .findChild<QTabWidget*>(QStringLiteral("PControl"))
                        ->setCurrentIndex(QLatin1String(c.field) == "edCheckPassword" ? 1 : 0);
                edit->clear();
                edit->setFocus();
                const QString text = QString::fromUtf8(c.text);
                const bool pasteRoute = route == CtrlV || route == ShiftInsert || route == Drop;
                if (pasteRoute && c.refusedBox)
                    QtDialogs::setNextAnswer(QMessageBox::Ok);
                switch (route) {
                case Typing:
                    TypeText(edit, text);
                    break;
                case CtrlV:
                    SetPaste(text);
                    QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
                    break;
                case ShiftInsert:
                    SetPaste(text);
                    QTest::keyClick(edit, Qt::Key_Insert, Qt::ShiftModifier);
                    break;
                case Drop: {
                    QMimeData data;
                    data.setText(text);
                    const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction;
                    QDragEnterEvent enter(QPoint(5, 5), actions, &data, Qt::LeftButton,
                                          Qt::NoModifier);
                    QApplication::sendEvent(edit, &enter);
                    QDropEvent drop(QPointF(5, 5), actions, &data, Qt::LeftButton, Qt::NoModifier);
                    QApplication::sendEvent(edit, &drop);
                    break;
                }
                case InputMethod: {
                    QInputMethodEvent event;
                    event.setCommitString(text);
                    QApplication::sendEvent(edit, &event);
                    break;
                }
                case Accessible:
                    QAccessible::queryAccessibleInterface(edit)->setText(QAccessible::Value, text);
                    break;
                case AccessibleInsert:
                    QAccessible::queryAccessibleInterface(edit)
                        ->editableTextInterface()
                        ->insertText(0, text);
                    break;
                }
                const QString expected =
                    route == Typing ? QString::fromUtf8(c.typed)
                    : pasteRoute    ? QString::fromUtf8(c.pasted)
                                    : QString(); // a text the rules refuse goes in whole or not
                QVERIFY2(edit->text() == expected, qPrintable(name + ": " + edit->text()));
                QCOMPARE(test::TakeBoxes().size(), pasteRoute && c.refusedBox ? 1 : 0);
            }
        }
        // A paste into a full field or over a selection keeps to the width.
        QLineEdit* password = w.edit("edPassword");
        password->setText(QStringLiteral("abcdefghijklmnop"));
        password->setFocus();
        password->setSelection(0, 3);
        SetPaste(longPassword);
        QTest::keyClick(password, Qt::Key_Insert, Qt::ShiftModifier);
        QCOMPARE(password->text(), QStringLiteral("abcdefghijklmnop"));
    }

    // A value the settings put in is shown in full although it breaks the rules; the user can
    // shorten it but not lengthen it, and can type allowed characters into it.
    void aLongerSettingsValueCanOnlyBeShortened() {
        WindowFixture w(std::string("[Cert]\nCountry=rus\nCommonName=Petrov, Ivan\n") + kNoProxy);
        QVERIFY(w.start());
        QLineEdit* country = w.edit("edCountry");
        QCOMPARE(country->text(), QStringLiteral("rus"));
        country->setFocus();
        country->end(false);
        QTest::keyClicks(country, QStringLiteral("x"));
        QCOMPARE(country->text(), QStringLiteral("rus"));
        QTest::keyClick(country, Qt::Key_Backspace);
        QCOMPARE(country->text(), QStringLiteral("ru"));
        QLineEdit* name = w.edit("edCommonName");
        name->setFocus();
        name->end(false);
        QTest::keyClicks(name, QStringLiteral(" Jr,"));
        QCOMPARE(name->text(), QStringLiteral("Petrov, Ivan Jr"));
        QCOMPARE(beeps_, 1);
    }

    // A password shown in clear ("Открытый пароль") is still never copied, and cutting it does
    // nothing: the field keeps it.
    void aPasswordShownInClearIsNeverCopied() {
        WindowFixture w(kNoProxy);
        QVERIFY(w.start());
        w.find<QCheckBox>("chBoxPassw")->setChecked(true);
        QLineEdit* password = w.edit("edPassword");
        QCOMPARE(password->echoMode(), QLineEdit::Normal);
        password->setText(QStringLiteral("Secret1"));
        password->setFocus();
        password->selectAll();
        for (const QKeyCombination key : {Qt::CTRL | Qt::Key_C, Qt::CTRL | Qt::Key_Insert,
                                          Qt::CTRL | Qt::Key_X, Qt::SHIFT | Qt::Key_Delete}) {
            SetPaste(QStringLiteral("kept"));
            password->setText(QStringLiteral("Secret1"));
            password->selectAll();
            QTest::keyClick(password, key.key(), key.keyboardModifiers());
            QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("kept"));
            QCOMPARE(password->text(), QStringLiteral("Secret1"));
        }
    }

    void requestButtonsFollowTheFields() {
        WindowFixture w(kNoProxy);
        QVERIFY(w.start());
        struct Case {
            const char* name;
            const char* email;
            const char* password;
            const char* password2;
            bool open;
            bool rsa;
        };
        for (const Case& c : {
                 Case{"Ivan", "@mail.example", "pw", "pw", false, false},
                 Case{"Ivan", "a@", "pw", "pw", false, true},
                 Case{"Ivan", "a@", "Pw", "pw", false, false},
                 Case{"Ivan", "a@", "Pw", "pw", true, true},
                 Case{"Ivan", "a@", "", "", true, false},
                 Case{"Ivan", "a@", "   ", "   ", false, true},
                 Case{"staff.quorix.ru", "a@", "pw", "pw", false, false},
                 Case{"staff.Quorix.ru", "a@", "pw", "pw", false, true},
                 Case{"Ivan", "ivan", "pw", "pw", false, false},
             }) {
            w.find<QCheckBox>("chBoxPassw")->setChecked(c.open);
            w.edit("edCommonName")->setText(QString::fromUtf8(c.name));
            w.edit("edEmail")->setText(QString::fromUtf8(c.email));
            w.edit("edPassword")->setText(QString::fromUtf8(c.password));
            if (!c.open)
                w.edit("edPassword2")->setText(QString::fromUtf8(c.password2));
            QVERIFY2(w.button("butSendSert")->isEnabled() == c.rsa,
                     qPrintable(QString("%1 %2 %3").arg(c.name, c.email, c.password)));
            QCOMPARE(w.edit("edPassword2")->isEnabled(), !c.open);
        }
    }

    void aBadCommonNameColoursTheEditedFieldsLabel() {
        WindowFixture w(std::string("[Cert]\nCommonName=Petrov, Ivan\n") + kNoProxy);
        QVERIFY(w.start());
        const QColor normal = w.form().palette().color(QPalette::WindowText);
        QCOMPARE(LabelOf(w.edit("edCommonName"))->palette().color(QPalette::WindowText),
                 QColor(Qt::red));
        QLabel* state = LabelOf(w.edit("edState"));
        QLabel* locality = LabelOf(w.edit("edLocality"));
        w.edit("edState")->setText(QStringLiteral("Moscow"));
        QCOMPARE(state->palette().color(QPalette::WindowText), QColor(Qt::red));
        QCOMPARE(locality->palette().color(QPalette::WindowText), normal);
        w.edit("edCommonName")->setText(QStringLiteral("Ivan Petrov"));
        QCOMPARE(LabelOf(w.edit("edCommonName"))->palette().color(QPalette::WindowText), normal);
        QCOMPARE(state->palette().color(QPalette::WindowText), QColor(Qt::red)); // not re-run
        w.edit("edState")->setText(QStringLiteral("Moscow obl"));
        QCOMPARE(state->palette().color(QPalette::WindowText), normal);
    }

    void ctrlIOpensTheTextOfTheTabAndTheMode() {
        WindowFixture w(kNoProxy);
        QVERIFY(w.start());
        const QString rsa = HelpTextOf(97), gost = HelpTextOf(98), files = HelpTextOf(99);
        QVERIFY(rsa != gost && gost != files);
        w.edit("edCommonName")->setFocus();
        QTest::keyClick(w.edit("edCommonName"), Qt::Key_I, Qt::ControlModifier);
        QCOMPARE(PanelText(), rsa);
        QVERIFY(w.edit("edCommonName")->text().isEmpty()); // consumed
        w.find<QComboBox>("cBoxRsaGost")->setCurrentIndex(1);
        w.edit("edCommonName")->setFocus();
        QTest::keyClick(w.edit("edCommonName"), Qt::Key_I, Qt::ControlModifier);
        QCOMPARE(PanelText(), gost);
        w.form().tabs()->setCurrentIndex(1);
        w.form().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w.form()));
        w.edit("edCheckPassword")->setFocus();
        QTest::keyClick(w.edit("edCheckPassword"), Qt::Key_I, Qt::ControlModifier);
        QCOMPARE(PanelText(), files);
    }

    void f1OpensTheFocusedFieldsText() {
        WindowFixture w(kNoProxy);
        QVERIFY(w.start());
        const QString mailText = HelpTextOf(13);
        w.edit("edEmail")->setFocus();
        QTest::keyClick(w.edit("edEmail"), Qt::Key_F1);
        QCOMPARE(PanelText(), mailText);
        FreeInformationPanel();
        w.form().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w.form()));
        w.edit("edProxyServer")->setFocus(); // context 0 all the way up: nothing opens
        QTest::keyClick(w.edit("edProxyServer"), Qt::Key_F1);
        QVERIFY(InformationPanel() == nullptr || !InformationPanel()->isVisible());
    }

    void tabWalksTheDesignedOrderSkippingDisabledControls() {
        WindowFixture w(std::string("[Cert]\nEmail=a@x.y\n[Proxy]\nUse=1\n"));
        QVERIFY(w.start());
        auto walk = [&](QWidget* from, int steps) {
            from->setFocus();
            QStringList names{QApplication::focusWidget()->objectName()};
            for (int i = 1; i < steps; ++i) {
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
                QWidget* focus = QApplication::focusWidget();
                // The edit inside a combo box stands for the combo box.
                if (qobject_cast<QComboBox*>(focus->parentWidget()))
                    focus = focus->parentWidget();
                names << (focus == w.form().tabs()->tabBar() ? QStringLiteral("PControl")
                                                             : focus->objectName());
            }
            return names;
        };
        // The send button is disabled (no password yet) and is skipped; the certificate type
        // list is a stop between the subject and its panel.
        QCOMPARE(walk(w.find("chBoxProxyUse"), 17),
                 QStringList({"chBoxProxyUse", "edProxyServer", "edProxyPort", "edProxyLogin",
                              "edProxyPassword", "PControl", "edCountry", "edState", "edLocality",
                              "edOrganization", "edOrganizUnit", "edCommonName", "edEmail",
                              "cBoxRsaGost", "edPassword", "edPassword2", "chBoxPassw"}));
        QCOMPARE(walk(w.find("chBoxPassw"), 2), QStringList({"chBoxPassw", "butSave"}));
        // The order is a ring, both ways.
        QCOMPARE(walk(w.find("butSave"), 2), QStringList({"butSave", "chBoxProxyUse"}));
        w.find("chBoxProxyUse")->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget(), w.find("butSave"));
        // Choosing the certificate type hands the focus on to its panel.
        auto* type = w.find<QComboBox>("cBoxRsaGost");
        type->setFocus();
        emit type->activated(0);
        QCOMPARE(QApplication::focusWidget(), w.find("edPassword"));
        w.form().tabs()->setCurrentIndex(1);
        QCOMPARE(walk(w.form().tabs()->tabBar(), 2).last(), QStringLiteral("comBoxMail"));
    }

    // With the keyboard alone: the certificate type list is a stop whose arrows change the
    // choice, the links are stops that Enter and Space run, and Alt with a caption's marked
    // letter (or the Latin letter on its key) reaches its control.
    void theKeyboardAloneChoosesGostAndReachesTheLinks() {
        WindowFixture w(kNoProxy);
        QVERIFY(w.start());
        QStringList opened;
        MainWindow::setShellOpener([&opened](const std::string& path) {
            opened << QString::fromStdString(path);
            return cq::shellopen::kSucceeded;
        });
        auto* type = w.find<QComboBox>("cBoxRsaGost");
        w.edit("edEmail")->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), type);
        QTest::keyClick(type, Qt::Key_Down);
        QCOMPARE(type->currentIndex(), 1);
        QVERIFY(w.find("pnlSendGost")->isVisible());
        QCOMPARE(QApplication::focusWidget(), type);
        test::TakeBoxes(); // no provider may qualify here
        QTest::keyClick(type, Qt::Key_Up);
        QCOMPARE(type->currentIndex(), 0);
        QTest::keyClick(type, Qt::Key_Return);
        QCOMPARE(QApplication::focusWidget(), w.edit("edPassword"));

        const std::string folder = cq::CertificateFolder("ivan@x.y");
        std::filesystem::create_directories(folder);
        QTest::keyClick(&w.form(), Qt::Key_Y, Qt::AltModifier); // "Стра&на" on the Latin key
        QCOMPARE(QApplication::focusWidget(), w.edit("edCountry"));
        w.form().tabs()->setCurrentIndex(1);
        w.find<QComboBox>("comBoxMail")->setEditText(QStringLiteral("ivan@x.y"));
        w.button("butSertificatTest")->setEnabled(true);
        w.button("butSertificatTest")->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QLabel* folderLink = w.label("lblGoTo");
        QCOMPARE(QApplication::focusWidget(), folderLink);
        for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Space}) {
            opened.clear();
            QTest::keyClick(folderLink, key);
            QTRY_COMPARE(opened, QStringList{QString::fromStdString(folder).chopped(1)});
        }
        QThreadPool::globalInstance()->waitForDone();
        QTest::keyClick(folderLink, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), w.label("lblInstall")->isEnabled()
                                                  ? static_cast<QWidget*>(w.label("lblInstall"))
                                                  : w.button("butSave"));
        QTest::keyClick(&w.form(), Qt::Key_B, Qt::AltModifier); // "&Использовать прокси"
        QVERIFY(w.find<QCheckBox>("chBoxProxyUse")->isChecked());
    }

    void upAndDownMoveTheFocusAndNeverTheListEntry() {
        WindowFixture w(std::string(kNoProxy) + kTwoAddresses);
        QVERIFY(w.start());
        QTest::keyClick(w.edit("edState"), Qt::Key_Down);
        QCOMPARE(QApplication::focusWidget(), w.edit("edLocality"));
        QTest::keyClick(w.edit("edLocality"), Qt::Key_Up);
        QTest::keyClick(w.edit("edState"), Qt::Key_Up);
        QCOMPARE(QApplication::focusWidget(), w.edit("edCountry"));

        const std::string folder = cq::CertificateFolder("b@x.y");
        std::filesystem::create_directories(folder);
        WriteFile(folder + "Certificate.key", "key");
        w.form().tabs()->setCurrentIndex(1);
        auto* mail = w.find<QComboBox>("comBoxMail");
        mail->setCurrentIndex(1);
        mail->setFocus();
        QWidget* focus = QApplication::focusWidget();
        QTest::keyClick(focus, Qt::Key_Down);
        QCOMPARE(mail->currentIndex(), 1);
        QCOMPARE(QApplication::focusWidget(), w.button("butSertificatGet"));
    }

    void theHintBoxFollowsFocusAndMouse() {
        WindowFixture w(kNoProxy);
        QVERIFY(w.start());
        RichTextBox* rich = w.form().hintBox();
        w.edit("edEmail")->setFocus();
        const QString mailText = rich->toPlainText();
        QVERIFY(mailText.startsWith(QStringLiteral("Только латинские символы в нижнем")));
        Hover(w.button("butSave"), true);
        QVERIFY(rich->toPlainText().startsWith(QStringLiteral("Сохраняет настройки прокси")));
        Hover(w.button("butSave"), false);
        QCOMPARE(rich->toPlainText(), mailText);
        w.button("butSave")->setFocus();
        QVERIFY(rich->toPlainText().startsWith(QStringLiteral("Сохраняет настройки прокси")));
        // A real pointer over the disabled send button shows its hint too.
        QVERIFY(!w.button("butSendSert")->isEnabled());
        QTest::mouseMove(w.button("butSendSert"), QPoint(10, 10));
        QTRY_VERIFY(rich->toPlainText().startsWith(QStringLiteral("Посылает запрос")));
    }

    void linkLabelsTurnBlueUnderTheMouse() {
        WindowFixture w(kNoProxy);
        QVERIFY(w.start());
        std::filesystem::create_directories(cq::CertificateFolder("a@x.y"));
        w.form().tabs()->setCurrentIndex(1);
        w.find<QComboBox>("comBoxMail")->setEditText(QStringLiteral("a@x.y"));
        QVERIFY(w.label("lblGoTo")->isEnabled());
        for (const char* name : {"lblGoTo", "lblSertInfo"}) {
            QLabel* link = w.label(name);
            QCOMPARE(link->palette().color(QPalette::WindowText), QColor(0, 0, 128));
            Hover(link, true);
            QCOMPARE(link->palette().color(QPalette::WindowText), QColor(0, 0, 255));
            QVERIFY(!link->font().underline() && link->font().bold());
            Hover(link, false);
            QCOMPARE(link->palette().color(QPalette::WindowText), QColor(0, 0, 128));
            QVERIFY(link->font().underline() && link->font().bold());
        }
        // A disabled link reads grey; the mouse over it changes nothing visible.
        QLabel* install = w.label("lblInstall");
        QVERIFY(!install->isEnabled());
        QVERIFY(install->palette().color(QPalette::Disabled, QPalette::WindowText) !=
                QColor(0, 0, 128));
        QLabel* plain = w.label("lblSert"); // other colours are left alone
        const QColor before = plain->palette().color(QPalette::WindowText);
        Hover(plain, true);
        QCOMPARE(plain->palette().color(QPalette::WindowText), before);
    }

    void receptionStateForEachKindOfFolder() {
        WindowFixture w(kNoProxy);
        QVERIFY(w.start());
        struct Case {
            const char* address;
            std::vector<const char*> files; // nullptr: no folder at all
            bool folder, download, check;
            const char* label; // nullptr: hidden
        };
        const Case cases[] = {
            {"none@x.y", {}, false, false, false, "Нет ключа, генерация не проводилась."},
            {"nokey@x.y", {""}, true, false, false, "Нет ключа, генерация не проводилась."},
            {"key@x.y", {"Certificate.key"}, true, true, false, nullptr},
            {"both@x.y",
             {"Certificate.key", "Certificate.cer"},
             true,
             true,
             true,
             "Уже получен! Повтор заменит файл."},
            {"gost@x.y", {"Request.ini"}, true, true, false, nullptr},
            {"noat", {}, false, false, false, "Email должен содержать символ @."},
        };
        for (const Case& c : cases) {
            if (!c.files.empty()) {
                const std::string folder = cq::CertificateFolder(c.address);
                std::filesystem::create_directories(folder);
                for (const char* file : c.files) {
                    if (std::string(file) == "Request.ini")
                        WriteFile(folder + file, "[Cert]\r\nAlgorithm=Test GOST provider\r\n");
                    else if (*file)
                        WriteFile(folder + file, "x");
                }
            }
        }
        w.form().tabs()->setCurrentIndex(1);
        auto* mail = w.find<QComboBox>("comBoxMail");
        for (const Case& c : cases) {
            mail->setEditText(QString::fromUtf8(c.address));
            QVERIFY2(w.label("lblGoTo")->isEnabled() == c.folder, c.address);
            QVERIFY2(w.button("butSertificatGet")->isEnabled() == c.download, c.address);
            QVERIFY2(w.button("butSertificatTest")->isEnabled() == c.check, c.address);
            QVERIFY(!w.label("lblInstall")->isEnabled());
            QCOMPARE(w.label("lblSertificatGet")->isVisible(), c.label != nullptr);
            if (c.label)
                QCOMPARE(w.label("lblSertificatGet")->text(), QString::fromUtf8(c.label));
        }
    }

    void theReceptionTabTakesTheListAndTheRequestAddress() {
        WindowFixture w(std::string("[Cert]\nEmail=B@X.y\n") + kNoProxy + kTwoAddresses);
        QVERIFY(w.start());
        w.form().tabs()->setCurrentIndex(1);
        auto* mail = w.find<QComboBox>("comBoxMail");
        QCOMPARE(mail->count(), 2);
        QCOMPARE(mail->currentText(), QStringLiteral("b@x.y"));
        w.form().tabs()->setCurrentIndex(0);
        w.edit("edEmail")->setText(QStringLiteral("new@x.y"));
        w.form().tabs()->setCurrentIndex(1);
        QCOMPARE(mail->currentText(), QStringLiteral("new@x.y"));
    }

    void saveWritesTheFieldsAndClosingDoesNot() {
        WindowFixture w(kNoProxy);
        QVERIFY(w.start());
        const std::string ini = w.dir() / "CertQuorix.ini";
        w.edit("edState")->setText(QStringLiteral(" Moscow "));
        w.edit("edEmail")->setText(QStringLiteral("ivan@x.y"));
        w.find<QCheckBox>("chBoxProxyUse")->setChecked(true);
        w.edit("edProxyServer")->setText(QStringLiteral("p.local"));
        const std::string before = ReadFile(ini);
        w.form().close();
        QCOMPARE(ReadFile(ini), before);
        w.button("butSave")->click();
        const std::string saved = ReadFile(ini);
        QVERIFY(saved.find("State=Moscow\r\n") != std::string::npos);
        QVERIFY(saved.find("Email=ivan@x.y\r\n") != std::string::npos);
        QVERIFY(saved.find("Server=p.local\r\n") != std::string::npos);
        QVERIFY(saved.find("Use=1\r\n") != std::string::npos);
        QVERIFY(saved.find("Gost=") == std::string::npos);
    }

    // The folder link hands the folder to the desktop on a worker: a handler that takes its time
    // never holds the window up; a failure names the folder.
    void folderLinkOpensTheFolderWithoutWaitingForTheDesktop() {
        WindowFixture w(kNoProxy);
        QVERIFY(w.start());
        std::mutex lock;
        QStringList opened;
        std::promise<int> release;
        std::shared_future<int> answer = release.get_future().share();
        // A failed check must not leave the worker waiting for ever.
        const auto releaseAtEnd = qScopeGuard([&] {
            if (answer.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
                release.set_value(cq::shellopen::kSucceeded);
        });
        MainWindow::setShellOpener([&, answer](const std::string& path) {
            const int code = answer.get(); // the desktop's handler, still starting
            const std::lock_guard held(lock);
            opened << QString::fromStdString(path);
            return code;
        });
        const std::string folder = cq::CertificateFolder("ivan@x.y");
        std::filesystem::create_directories(folder);
        w.form().tabs()->setCurrentIndex(1);
        w.find<QComboBox>("comBoxMail")->setEditText(QStringLiteral(" ivan@x.y "));
        QTest::mouseClick(w.label("lblGoTo"), Qt::LeftButton);
        // The click is over while the handler still waits; the window takes input meanwhile.
        QLineEdit* password = w.edit("edCheckPassword");
        password->setFocus();
        QTest::keyClicks(password, QStringLiteral("abc"));
        QCOMPARE(password->text(), QStringLiteral("abc"));
        release.set_value(cq::shellopen::kSucceeded);
        QVERIFY(QTest::qWaitFor([&] {
            const std::lock_guard held(lock);
            return !opened.isEmpty();
        }));
        QCOMPARE(opened, QStringList{QString::fromStdString(folder).chopped(1)});

        MainWindow::setShellOpener(
            [](const std::string&) { return cq::shellopen::kNoAssociation; });
        QtDialogs::setNextAnswer(QMessageBox::Ok);
        QTest::mouseClick(w.label("lblGoTo"), Qt::LeftButton);
        QList<QtDialogs::Box> boxes;
        QVERIFY(QTest::qWaitFor([&] {
            boxes += QtDialogs::takeAnsweredBoxes(); // keeps the answer queued meanwhile
            return !boxes.isEmpty();
        }));
        QVERIFY2(boxes[0].text.contains(QString::fromStdString(folder).chopped(1)),
                 qPrintable(boxes[0].text));
        QThreadPool::globalInstance()->waitForDone();
    }

    // The controls keep the names users, tests and the accessibility tree know them by,
    // whatever the code calls them.
    void everyControlKeepsItsObjectName() {
        WindowFixture w(kNoProxy);
        QVERIFY(w.start());
        const char* const names[] = {"Label1",
                                     "LangTimer",
                                     "PControl",
                                     "butSave",
                                     "butSendSert",
                                     "butSertificatGet",
                                     "butSertificatTest",
                                     "butStartGost",
                                     "cBoxRsaGost",
                                     "cbCont",
                                     "cbProvName",
                                     "chBoxPassw",
                                     "chBoxProxyUse",
                                     "comBoxMail",
                                     "edCheckPassword",
                                     "edCommonName",
                                     "edCountry",
                                     "edEmail",
                                     "edLocality",
                                     "edOrganizUnit",
                                     "edOrganization",
                                     "edPassword",
                                     "edPassword2",
                                     "edProxyLogin",
                                     "edProxyPassword",
                                     "edProxyPort",
                                     "edProxyServer",
                                     "edState",
                                     "imgEngl",
                                     "imgRu",
                                     "imjSertInfo",
                                     "lblAstCountry",
                                     "lblAstLocality",
                                     "lblAstMail",
                                     "lblAstOrganization",
                                     "lblAstPass",
                                     "lblAstState",
                                     "lblCommonName",
                                     "lblCont",
                                     "lblEn",
                                     "lblGoTo",
                                     "lblInstall",
                                     "lblProvName",
                                     "lblProxiInfo",
                                     "lblRsaGost",
                                     "lblSert",
                                     "lblSertGetInfo",
                                     "lblSertInfo",
                                     "lblSertificatGet",
                                     "pnlProxy",
                                     "pnlSendGost",
                                     "pnlSendRSA",
                                     "pnlUseProxy",
                                     "rich",
                                     "tSheetInquiry",
                                     "tSheetReception"};
        for (const char* name : names)
            QVERIFY2(w.form().findChild<QObject*>(QLatin1String(name)), name);
        ShowHelpInfo(kHelpCertificateFiles, nullptr);
        QVERIFY(InformationPanel()->findChild<QObject*>(QStringLiteral("richInfo")));
    }

    void everyFieldIsFoundByItsAccessibleName() {
        WindowFixture w(kNoProxy);
        QVERIFY(w.start());
        QAccessibleInterface* root = QAccessible::queryAccessibleInterface(&w.form());
        QVERIFY(root);
        QMap<QString, QAccessible::Role> found;
        std::function<void(QAccessibleInterface*)> walk = [&](QAccessibleInterface* node) {
            found.insert(node->text(QAccessible::Name), node->role());
            for (int i = 0; i < node->childCount(); ++i)
                if (QAccessibleInterface* child = node->child(i))
                    walk(child);
        };
        walk(root);
        const QStringList names = {"Использовать прокси",
                                   "Прокси сервер",
                                   "Порт",
                                   "Логин",
                                   "Страна",
                                   "Область",
                                   "Город",
                                   "Организация",
                                   "Подразделение",
                                   "ФИО",
                                   "Эл. почта",
                                   "Пароль",
                                   "Подтверждение",
                                   "Открытый пароль",
                                   "Отправить запрос",
                                   "Тип сертификата",
                                   "Сохранить",
                                   "Подсказка"};
        for (const QString& name : names)
            QVERIFY2(found.contains(name), qPrintable(name));
        QCOMPARE(found.value("Эл. почта"), QAccessible::EditableText);
        QCOMPARE(found.value("Отправить запрос"), QAccessible::Button);
        // The reception tab's controls once it is shown.
        w.form().tabs()->setCurrentIndex(1);
        found.clear();
        walk(root);
        for (const char* name : {"Скачать", "Проверить", "Папка сертификата", "В хранилище (p12)"})
            QVERIFY2(found.contains(name), qPrintable(name));
        // Every control that takes the focus carries a name (the edit inside a combo box speaks
        // through the combo box).
        for (QWidget* control : w.form().findChildren<QWidget*>()) {
            if (!(control->focusPolicy() & Qt::TabFocus) || control->window() != &w.form() ||
                qobject_cast<QComboBox*>(control->parentWidget()) ||
                control == w.form().tabs()->tabBar())
                continue;
            QAccessibleInterface* node = QAccessible::queryAccessibleInterface(control);
            QVERIFY2(node && !node->text(QAccessible::Name).isEmpty(),
                     control->metaObject()->className());
        }
    }

private:
    int beeps_ = 0;
};
CQ_UI_TEST(TestMainWindow);

// The RSA road from the window against the sandbox service: request, issue, download, check and
// export with the shell-open hook.
class TestMainWindowRoad : public QObject {
    Q_OBJECT
private slots:
    void cleanup() {
        MainWindow::setShellOpener({});
        qunsetenv("XDG_DATA_HOME");
        test::TakeBoxes();
    }

    void theRsaRoadFromRequestToExport() {
        ClearProxyEnvironment();
        cq::test::SandboxServer server;
        WindowFixture w(kNoProxy);
        QVERIFY(w.start());
        cq::test::UseSandboxService(server, w.dir().path());
        qputenv("XDG_DATA_HOME", QByteArray::fromStdString(w.dir() / "xdg"));
        cq::ui::test::ConnectionScope connection;
        QStringList opened;
        MainWindow::setShellOpener([&](const std::string& path) {
            opened << QString::fromStdString(path);
            return cq::shellopen::kSucceeded;
        });

        w.edit("edLocality")->setText(QStringLiteral("Moscow"));
        w.edit("edOrganization")->setText(QStringLiteral("Firm Ltd"));
        w.edit("edCommonName")->setText(QStringLiteral("Ivan Petrov"));
        w.edit("edEmail")->setText(QStringLiteral("ivan@mail.example"));
        w.edit("edPassword")->setText(QStringLiteral("Secret1"));
        w.edit("edPassword2")->setText(QStringLiteral("Secret1"));
        QVERIFY(w.button("butSendSert")->isEnabled());
        // A broken exchange: the error under the request's caption, the window usable again,
        // and the confirmation to be typed anew.
        server.setFault("close-mid-body");
        QtDialogs::setNextAnswer(QMessageBox::Ok);
        w.button("butSendSert")->click();
        const auto failed = test::TakeBoxes();
        QCOMPARE(failed.size(), 1);
        QCOMPARE(failed[0].caption, QStringLiteral("Запрос сертификата"));
        QVERIFY(!BusyTaskRunning());
        QVERIFY(w.edit("edPassword2")->text().isEmpty());
        QVERIFY(!w.button("butSendSert")->isEnabled());
        server.setFault("");
        w.edit("edPassword2")->setFocus();
        QTest::keyClicks(w.edit("edPassword2"), QStringLiteral("Secret1"));
        QVERIFY(w.button("butSendSert")->isEnabled());
        // A slow service: the window keeps running its event loop meanwhile, busy, and the
        // keys typed while it waits go nowhere.
        server.setFault("slow", 2);
        bool busySeen = false;
        QTimer::singleShot(500, [&] {
            busySeen = BusyTaskRunning();
            QTest::keyClicks(w.edit("edCommonName"), QStringLiteral("xyz"));
            server.setFault("");
        });
        // The failed first attempt left nothing behind: the new one has nothing to replace.
        const QStringList sent =
            nextBoxes([&] { w.button("butSendSert")->click(); }, {QMessageBox::Ok});
        QCOMPARE(sent, QStringList({QString::fromUtf8(cq::kRequestSentText)}));
        QVERIFY(busySeen);
        QCOMPARE(w.edit("edCommonName")->text(), QStringLiteral("Ivan Petrov"));
        QVERIFY(w.edit("edPassword2")->text().isEmpty());
        QCOMPARE(QApplication::focusWidget(), w.find("chBoxPassw"));
        QVERIFY(!server.storedRequest("ivan@mail.example").empty());
        QVERIFY(cq::ReadEmailList().find("ivan@mail.example") != std::string::npos);

        // Not issued yet: the service says so.
        w.form().tabs()->setCurrentIndex(1);
        QCOMPARE(w.find<QComboBox>("comBoxMail")->currentText(),
                 QStringLiteral("ivan@mail.example"));
        QVERIFY(w.button("butSertificatGet")->isEnabled());
        QVERIFY(!w.button("butSertificatTest")->isEnabled());
        QCOMPARE(nextBox([&] { w.button("butSertificatGet")->click(); }),
                 QStringLiteral("Сертификат еще не готов. Попробуйте позже."));

        server.issue("ivan@mail.example");
        QCOMPARE(nextBox([&] { w.button("butSertificatGet")->click(); }),
                 QStringLiteral("Сертификат успешно получен. Проверьте его на соответствие "
                                "запрошенному."));
        QCOMPARE(w.find<QLabel>("lblSertificatGet")->text(),
                 QStringLiteral("Уже получен! Повтор заменит файл."));
        QVERIFY(w.find("lblSertificatGet")->isVisible());
        QVERIFY(w.button("butSertificatTest")->isEnabled());

        // A wrong password fails the check and leaves the export link off.
        w.edit("edCheckPassword")->setText(QStringLiteral("wrong"));
        nextBox([&] { w.button("butSertificatTest")->click(); });
        QVERIFY(!w.find("lblInstall")->isEnabled());

        w.edit("edCheckPassword")->setText(QStringLiteral("Secret1"));
        const QString checked = nextBox([&] { w.button("butSertificatTest")->click(); });
        QVERIFY2(checked.contains(QStringLiteral("Ivan Petrov")), qPrintable(checked));
        QVERIFY(w.find("lblInstall")->isEnabled());

        QTest::mouseClick(w.find("lblInstall"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(opened.size(), 1, 60000);
        QVERIFY(opened[0].endsWith(QStringLiteral("/Certificate.p12")));
        QVERIFY(std::filesystem::exists(opened[0].toStdString()));

        // A desktop without a program for .p12: where the file is, its folder on request, and
        // the import into the user's NSS store when the NSS tools are there.
        const QString folder = opened[0].chopped(QStringLiteral("/Certificate.p12").size());
        MainWindow::setShellOpener([&](const std::string& path) {
            opened << QString::fromStdString(path);
            return path.ends_with(".p12") ? cq::shellopen::kNoAssociation
                                          : cq::shellopen::kSucceeded;
        });
        const QByteArray home = qgetenv("HOME");
        qputenv("HOME", QByteArray::fromStdString(w.dir() / "home"));
        const bool nssTools = !cq::FindInPath("pk12util").empty();
        const QStringList told =
            nextBoxes([&] { QTest::mouseClick(w.find("lblInstall"), Qt::LeftButton); },
                      nssTools ? QList{QMessageBox::Yes, QMessageBox::Yes, QMessageBox::Ok}
                               : QList{QMessageBox::Yes});
        qputenv("HOME", home);
        QVERIFY(!told.isEmpty());
        QVERIFY2(told[0].contains(QStringLiteral("Certificate.p12 записан в папку\r\n") + folder),
                 qPrintable(told[0]));
        QTRY_VERIFY(opened.contains(folder));
        if (nssTools) {
            QCOMPARE(told.size(), 3);
            QVERIFY(told[1].contains(QStringLiteral("хранилище NSS")));
            QCOMPARE(told[2], QStringLiteral("Сертификат добавлен в хранилище NSS ") +
                                  QString::fromStdString(w.dir() / "home/.pki/nssdb"));
            QVERIFY(std::filesystem::exists(w.dir() / "home/.pki/nssdb/cert9.db"));
        }

        // The folder cannot be opened either: its error, naming the folder, comes before the
        // next question, one box at a time.
        MainWindow::setShellOpener(
            [](const std::string&) { return cq::shellopen::kNoAssociation; });
        const QStringList notOpened =
            nextBoxes([&] { QTest::mouseClick(w.find("lblInstall"), Qt::LeftButton); },
                      nssTools ? QList{QMessageBox::Yes, QMessageBox::Ok, QMessageBox::No}
                               : QList{QMessageBox::Yes, QMessageBox::Ok});
        QVERIFY(notOpened.size() >= 2);
        QVERIFY2(notOpened[1].startsWith(QStringLiteral("Папка ") + folder +
                                         QStringLiteral(" не открыта")),
                 qPrintable(notOpened[1]));
        if (nssTools)
            QVERIFY(notOpened[2].contains(QStringLiteral("хранилище NSS")));

        // Changing the address turns the export link off again.
        w.find<QComboBox>("comBoxMail")->setEditText(QStringLiteral("other@mail.example"));
        QVERIFY(!w.find("lblInstall")->isEnabled());
    }

    void theGostRoadToTheDownload() {
        ClearProxyEnvironment();
        cq::test::SandboxServer server;
        WindowFixture w(kNoProxy);
        QVERIFY(w.start());
        auto software = cq::provider::MakeSoftwareGostProvider(cq::provider::kGostEngineId,
                                                               w.dir() / "containers/");
        if (!software)
            QSKIP("the GOST engine does not load here");
        cq::provider::ScopedProviders providers{cq::provider::ProviderRegistry({software})};
        cq::test::UseSandboxService(server, w.dir().path());
        qputenv("XDG_DATA_HOME", QByteArray::fromStdString(w.dir() / "xdg"));
        cq::ui::test::ConnectionScope connection;

        w.edit("edState")->setText(QStringLiteral("Moscow"));
        w.edit("edLocality")->setText(QStringLiteral("Moscow"));
        w.edit("edOrganization")->setText(QStringLiteral("Firm Ltd"));
        w.edit("edCommonName")->setText(QStringLiteral("Ivan Petrov"));
        w.edit("edEmail")->setText(QStringLiteral("gost@mail.example"));
        w.find<QComboBox>("cBoxRsaGost")->setCurrentIndex(1);
        auto* provider = w.find<QComboBox>("cbProvName");
        QCOMPARE(provider->currentText(), QString::fromUtf8(software->name().c_str()));
        QCOMPARE(provider->toolTip(), provider->currentText());
        QVERIFY(w.edit("cbCont")->text().startsWith(QStringLiteral("QUORIX_R")));
        QVERIFY(w.button("butStartGost")->isEnabled()); // no unit needed
        w.edit("edState")->setText(QStringLiteral("   "));
        QVERIFY(!w.button("butStartGost")->isEnabled());
        w.edit("edState")->setText(QStringLiteral("Moscow"));

        // Cancel in the provider's password dialog: a silent end, nothing sent.
        const int asked = dialogsAnswered();
        setNextContainerPassword(std::nullopt);
        w.button("butStartGost")->click();
        QCOMPARE(dialogsAnswered(), asked + 1);
        QVERIFY(test::TakeBoxes().isEmpty());
        QVERIFY(server.storedRequest("gost@mail.example").empty());

        setNextContainerPassword(QStringLiteral("container pw"));
        QCOMPARE(nextBox([&] { w.button("butStartGost")->click(); }),
                 QString::fromUtf8(cq::kRequestSentText));
        QVERIFY(!server.storedRequest("gost@mail.example").empty());

        server.issue("gost@mail.example");
        w.form().tabs()->setCurrentIndex(1);
        QCOMPARE(w.find<QComboBox>("comBoxMail")->currentText(),
                 QStringLiteral("gost@mail.example"));
        QVERIFY(w.button("butSertificatGet")->isEnabled());
        QCOMPARE(nextBox([&] { w.button("butSertificatGet")->click(); }),
                 QStringLiteral("Сертификат успешно получен."));
        QVERIFY(!w.button("butSertificatTest")->isEnabled());
        QVERIFY(w.find("lblSertificatGet")->isVisible());
    }

    // Esc and the close button during an exchange with a silent service ask whether to leave
    // it ("No" by default); "No" keeps waiting, "Yes" aborts the transfer, the request rolls
    // back and the window takes input again.
    void aHangingExchangeCanBeLeft() {
        ClearProxyEnvironment();
        cq::test::SandboxServer server;
        WindowFixture w(kNoProxy);
        QVERIFY(w.start());
        cq::test::UseSandboxService(server, w.dir().path());
        cq::ui::test::ConnectionScope connection;
        FillRsaRequest(w, "hang@mail.example");
        server.setFault("slow", 60);
        QtDialogs::clearNextAnswers();
        QtDialogs::takeAnsweredBoxes();
        for (const auto answer : {QMessageBox::No, QMessageBox::Yes, QMessageBox::Ok})
            QtDialogs::setNextAnswer(answer);
        QList<QtDialogs::Box> boxes;
        bool escapeSent = false;
        bool closeSent = false;
        QTimer poll;
        connect(&poll, &QTimer::timeout, [&] {
            boxes += QtDialogs::takeAnsweredBoxes();
            if (!BusyTaskRunning())
                return;
            if (!escapeSent) {
                escapeSent = true;
                QTest::keyClick(w.edit("edPassword"), Qt::Key_Escape);
            } else if (!closeSent && !boxes.isEmpty()) {
                closeSent = true;
                QCloseEvent close; // the close button: a close that comes from the desktop
                QSpontaneKeyEvent::setSpontaneous(&close);
                QApplication::instance()->notify(&w.form(), &close);
            }
        });
        poll.start(50);
        w.button("butSendSert")->click();
        poll.stop();
        boxes += QtDialogs::takeAnsweredBoxes();
        QCOMPARE(boxes.size(), 3);
        QCOMPARE(boxes[0].text, QString::fromUtf8(kAbortQuestion));
        QCOMPARE(boxes[0].defaultButton, QMessageBox::No);
        QCOMPARE(boxes[1].text, QString::fromUtf8(kAbortQuestion));
        QCOMPARE(boxes[2].caption, QStringLiteral("Запрос сертификата"));
        QCOMPARE(boxes[2].text, QStringLiteral("Операция прервана"));
        QVERIFY(w.form().isVisible());
        QVERIFY(!BusyTaskRunning());
        const std::string folder = w.dir() / "hang@mail.example";
        QVERIFY(!std::filesystem::exists(folder + "/Certificate.key"));
        QVERIFY(server.storedRequest("hang@mail.example").empty());
        QVERIFY(cq::ReadEmailList().find("hang@") == std::string::npos);
        // The window takes input again.
        QLineEdit* name = w.edit("edCommonName");
        name->setFocus();
        QTest::keyClicks(name, QStringLiteral(" Jr"));
        QCOMPARE(name->text(), QStringLiteral("Ivan Petrov Jr"));
    }

    // A termination signal during a hanging exchange ends it and the program the ordinary way:
    // status 0, nothing of the request left behind, no box waiting for an answer.
    void aTerminationSignalEndsAHangingExchangeAndTheProgram() {
        ClearProxyEnvironment();
        cq::test::SandboxServer server;
        cq::test::TempDir dir;
        cq::test::UseProgramFolder(dir.path());
        WriteFile(dir / "CertQuorix.ini", CrLf(kNoProxy));
        server.setFault("slow", 60);
        StartupSteps steps;
        steps.initLog = [] {
        };
        bool sawBusy = false;
        steps.createMainForm = [&]() -> std::unique_ptr<QWidget> {
            auto form = std::make_unique<MainWindow>();
            MainWindow* shown = form.get();
            connect(shown, &MainWindow::deferredInitDone, shown, [&, shown] {
                cq::test::UseSandboxService(server, dir.path());
                FillRsaRequest(*shown, "term@mail.example");
                QTimer::singleShot(0, shown, [&, shown] {
                    auto* poll = new QTimer(shown);
                    connect(poll, &QTimer::timeout, [&, poll] {
                        if (!BusyTaskRunning())
                            return;
                        sawBusy = true;
                        poll->stop();
                        ::raise(SIGTERM);
                    });
                    poll->start(50);
                    shown->findChild<QPushButton*>(QStringLiteral("butSendSert"))->click();
                });
            });
            return form;
        };
        std::vector<QByteArray> bytes{"certquorix"};
        char* argv[] = {bytes[0].data(), nullptr};
        int argc = 1;
        cq::Dialogs& hostDialogs = cq::CurrentDialogs(); // the run installs its own
        const int status = RunProgram(argc, argv, steps);
        QCOMPARE(&cq::CurrentDialogs(), &hostDialogs); // and puts the host's back
        QCOMPARE(status, 0);
        QVERIFY(sawBusy);
        QVERIFY(!std::filesystem::exists(dir / "term@mail.example/Certificate.key"));
        QVERIFY(server.storedRequest("term@mail.example").empty());
        QVERIFY(!BusyTaskRunning());
    }

private:
    // Answers the next box with OK, runs `action` and waits (bounded) for the box; its text.
    static void FillRsaRequest(QWidget& form, const char* email) {
        const auto edit = [&form](const char* name) {
            return form.findChild<QLineEdit*>(QLatin1String(name));
        };
        edit("edCommonName")->setText(QStringLiteral("Ivan Petrov"));
        edit("edEmail")->setText(QLatin1String(email));
        edit("edPassword")->setText(QStringLiteral("Secret1"));
        edit("edPassword2")->setText(QStringLiteral("Secret1"));
    }
    static void FillRsaRequest(WindowFixture& w, const char* email) {
        FillRsaRequest(w.form(), email);
    }

    // The texts of the boxes an action opens, answered in turn with `answers`.
    static QStringList nextBoxes(const std::function<void()>& action,
                                 const QList<QMessageBox::StandardButton>& answers) {
        QtDialogs::clearNextAnswers();
        QtDialogs::takeAnsweredBoxes();
        for (const QMessageBox::StandardButton answer : answers)
            QtDialogs::setNextAnswer(answer);
        action();
        QList<QtDialogs::Box> boxes;
        const bool all = QTest::qWaitFor(
            [&] {
                boxes += QtDialogs::takeAnsweredBoxes();
                return boxes.size() >= answers.size();
            },
            60000);
        QStringList texts;
        if (!all)
            texts << QStringLiteral("<too few boxes>");
        for (const QtDialogs::Box& box : boxes)
            texts << box.text;
        return texts;
    }

    static QString nextBox(const std::function<void()>& action) {
        QtDialogs::clearNextAnswers();
        QtDialogs::takeAnsweredBoxes();
        QtDialogs::setNextAnswer(QMessageBox::Ok);
        action();
        QList<QtDialogs::Box> boxes;
        if (!QTest::qWaitFor(
                [&] {
                    boxes += QtDialogs::takeAnsweredBoxes();
                    return !boxes.isEmpty();
                },
                60000))
            return QStringLiteral("<no box>");
        return boxes.first().text;
    }
};
CQ_UI_TEST(TestMainWindowRoad);

#include "test_MainWindow.moc"
