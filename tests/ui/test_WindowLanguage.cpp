// The window speaks the user's language: under an English locale its captions, hints and tabs
// come from the catalog, under C (and a Russian locale) they are the program's own Russian
// texts, byte for byte.
#include "UiTestSupport.h"

#include "TestSupport.h"
#include "settings/CertFolders.h"
#include "ui/CertificateInfoPanel.h"
#include "ui/HelpText.h"
#include "ui/MainWindow.h"
#include "ui/RenewalView.h"
#include "ui/RichTextBox.h"
#include "ui/UiText.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTest>

#include <filesystem>

using namespace cq::ui;

namespace {

bool HasCyrillic(const QString& text) {
    static const QRegularExpression cyrillic(QStringLiteral("[\\x{0400}-\\x{04FF}]"));
    return text.contains(cyrillic);
}

// A started main window in a program folder of its own, the proxy fields shown.
class Window {
public:
    Window() {
        cq::test::UseProgramFolder(dir_.path());
        cq::test::WriteFile(dir_ / "CertQuorix.ini",
                            "[Proxy]\r\nUse=1\r\nServer=proxy.local\r\nPort=3128\r\n");
    }
    ~Window() { FreeInformationPanel(); }
    bool start() {
        return test::ShowActive(form_) && QTest::qWaitFor([this] { return form_.initialised(); });
    }
    MainWindow& form() { return form_; }

private:
    cq::test::TempDir dir_;
    MainWindow form_;
};

// The texts a user sees on the shown controls of `window`: captions, tabs, hints, spoken names
// and the choices of the lists that hold the program's words (not the addresses typed).
QStringList ShownTexts(QWidget& window) {
    QStringList texts{window.windowTitle()};
    for (QWidget* widget : window.findChildren<QWidget*>()) {
        if (!widget->isVisible())
            continue;
        texts << widget->toolTip() << widget->accessibleName() << widget->accessibleDescription();
        if (auto* label = qobject_cast<QLabel*>(widget))
            texts << label->text();
        if (auto* button = qobject_cast<QAbstractButton*>(widget))
            texts << button->text();
        if (auto* tabs = qobject_cast<QTabWidget*>(widget))
            for (int i = 0; i < tabs->count(); ++i)
                texts << tabs->tabText(i);
        if (widget->objectName() == QLatin1String("cBoxRsaGost"))
            for (int i = 0; i < static_cast<QComboBox*>(widget)->count(); ++i)
                texts << static_cast<QComboBox*>(widget)->itemText(i);
    }
    texts.removeAll(QString());
    return texts;
}

// Every view of the window's road: both tabs, both request modes, the proxy shown and hidden.
void ForEachView(MainWindow& form, const std::function<void(const QString&)>& check) {
    auto* proxy = form.findChild<QCheckBox*>(QStringLiteral("chBoxProxyUse"));
    auto* mode = form.findChild<QComboBox*>(QStringLiteral("cBoxRsaGost"));
    for (const bool proxyShown : {true, false}) {
        proxy->setChecked(proxyShown);
        for (int tab = 0; tab < form.tabs()->count(); ++tab) {
            form.tabs()->setCurrentIndex(tab);
            for (int modeIndex = 0; modeIndex < (tab == 0 ? 2 : 1); ++modeIndex) {
                mode->setCurrentIndex(modeIndex);
                QApplication::processEvents();
                check(QStringLiteral("proxy %1, tab %2, mode %3")
                          .arg(proxyShown)
                          .arg(tab)
                          .arg(modeIndex));
            }
        }
    }
}

} // namespace

class TestWindowLanguage : public QObject {
    Q_OBJECT
private slots:
    void init() { test::TakeBoxes(); }
    void cleanup() { test::TakeBoxes(); }

    void captionsFollowTheLanguage_data() {
        QTest::addColumn<QString>("lang");
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* name, const char* lang, const char* control,
                            const char* expected) {
            QTest::newRow(name) << QString::fromLatin1(lang) << QString::fromLatin1(control)
                                << QString::fromUtf8(expected);
        };
        row("C: save", "C", "butSave", "Со&хранить");
        row("C: proxy", "C", "chBoxProxyUse", "&Использовать прокси");
        row("C: subject caption", "C", "edCountry", "Стра&на : ");
        row("C: hint", "C", "butSendSert", "Посылает запрос на сертификат на сервер Кворикс");
        row("ru_RU: save", "ru_RU.UTF-8", "butSave", "Со&хранить");
        row("ru_RU: subject caption", "ru_RU.UTF-8", "edEmail", "&Эл. почта : ");
        row("en_US: save", "en_US.UTF-8", "butSave", "&Save");
        row("en_US: proxy", "en_US.UTF-8", "chBoxProxyUse", "&Use a proxy");
        row("en_US: subject caption", "en_US.UTF-8", "edCountry", "&Country : ");
        row("en_US: hint", "en_US.UTF-8", "butSendSert",
            "Sends the certificate request to the Quorix server");
    }
    // A caption is the text of the control's button or of the label it is the buddy of; a hint
    // is the control's tool tip.
    void captionsFollowTheLanguage() {
        QFETCH(QString, lang);
        QFETCH(QString, control);
        QFETCH(QString, expected);
        const test::TestLanguage language(lang.toLatin1().constData());
        Window w;
        QVERIFY(w.start());
        auto* widget = w.form().findChild<QWidget*>(control);
        QVERIFY(widget);
        QStringList shown{widget->toolTip()};
        if (auto* button = qobject_cast<QAbstractButton*>(widget))
            shown << button->text();
        for (QLabel* label : w.form().findChildren<QLabel*>())
            if (label->buddy() == widget)
                shown << label->text();
        QVERIFY2(shown.contains(expected), qPrintable(shown.join(QStringLiteral(" | "))));
    }

    // Under English nothing Russian is left on the window's road, the English mnemonics are
    // unique in every view, and texts made with places carry their values.
    void theEnglishRoadHasNoRussianLeft() {
        const test::TestLanguage language("en_US.UTF-8");
        QCOMPARE(CatalogLanguage(), QStringLiteral("en"));
        Window w;
        QVERIFY(w.start());
        QCOMPARE(w.form().tabs()->tabText(1), QStringLiteral("Certificate reception"));
        // An address whose certificate was received: its state is shown on the reception tab.
        const std::string address = "ivan@example.ru";
        const std::string folder = cq::CertificateFolder(address);
        std::filesystem::create_directories(folder);
        std::filesystem::copy_file(CQ_TEST_DATA_DIR "/retrieval/user.cer",
                                   folder + "Certificate.cer");
        w.form().tabs()->setCurrentIndex(1);
        auto* addresses = w.form().findChild<QComboBox*>(QStringLiteral("comBoxMail"));
        addresses->setEditText(QString::fromStdString(address));
        auto* state = w.form().findChild<QLabel*>(QStringLiteral("lblSertificatGet"));
        QVERIFY(state->isVisible());
        QCOMPARE(state->text(),
                 QStringLiteral("Already received! Downloading again replaces the file."));
        ForEachView(w.form(), [&w](const QString& where) {
            QStringList russian = ShownTexts(w.form()).filter(
                QRegularExpression(QStringLiteral("[\\x{0400}-\\x{04FF}]")));
            QVERIFY2(russian.isEmpty(),
                     qPrintable(where + ": " + russian.join(QStringLiteral(" | "))));
            QVERIFY2(test::SharedMnemonics(w.form()).isEmpty(),
                     qPrintable(where + ": " + test::SharedMnemonics(w.form()).join(", ")));
        });
        cq::AddressOverview overview;
        overview.HasExpiry = true;
        overview.NotAfter = {2027, 3, 9, 0, 0, 0};
        overview.DaysLeft = 12;
        QCOMPARE(QString::fromStdString(ViewOfRenewal(overview, 30).Expiry),
                 QStringLiteral("Valid until 09.03.2027, days left: 12"));
    }

    // The information panel's and the hint box's texts have English versions, headings and
    // warnings included; under C they are the Russian ones (TestHelpText reads them).
    void theHelpTextsFollowTheLanguage() {
        const test::TestLanguage language("en_US.UTF-8");
        RichTextBox box;
        for (int context : {7, 8, 9, 10, 11, 12, 13, 14, 15, 97, 98, 99}) {
            FillHelpText(box, context, {});
            const QString text = box.toPlainText();
            QVERIFY2(!text.isEmpty() && !HasCyrillic(text),
                     qPrintable(QString::number(context) + ": " + text));
        }
        FillHelpText(box, 7, {});
        QVERIFY(box.toPlainText().startsWith(QStringLiteral("Country :")));
        FillHelpText(box, 14, {});
        QVERIFY(box.toPlainText().contains(QStringLiteral("Remember the certificate's password")));
    }

    // Under C the catalog is not used: Qt's texts stay Russian and so do the places' texts.
    void theCLanguageKeepsTheRussianTexts() {
        QCOMPARE(CatalogLanguage(), QStringLiteral("ru"));
        cq::AddressOverview overview;
        overview.HasExpiry = true;
        overview.NotAfter = {2027, 3, 9, 0, 0, 0};
        overview.DaysLeft = 12;
        QCOMPARE(QString::fromStdString(ViewOfRenewal(overview, 30).Expiry),
                 QStringLiteral("Срок действия до 09.03.2027, осталось дней: 12"));
        Window w;
        QVERIFY(w.start());
        QVERIFY(HasCyrillic(w.form().tabs()->tabText(0)));
    }
};

CQ_UI_TEST(TestWindowLanguage);
#include "test_WindowLanguage.moc"
