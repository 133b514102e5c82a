// The keyboard-layout indicator: captions, flags and hints for each layout, the refresh timer,
// and clicks; where the layout comes from without X11 (GNOME's input sources, the input
// method's language); on X11 (Xvfb with setxkbmap) the click really switches the layout.
#include "FakeGsettings.h"
#include "UiTestSupport.h"

#include "platform/KeyboardLayout.h"
#include "ui/KeyboardIndicator.h"

#include <QLabel>
#include <QLocale>
#include <QProcess>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <future>
#include <optional>

using namespace cq::ui;
using namespace std::string_literals;

Q_DECLARE_METATYPE(std::string)
Q_DECLARE_METATYPE(std::optional<std::string>)

namespace {

void Click(KeyboardIndicator& indicator) {
    QTest::mouseClick(indicator.captionLabel(), Qt::LeftButton);
}

// GNOME's two keys as gsettings would print them; nullopt: the key cannot be read.
cq::InputSourceSettingReader SettingOf(std::optional<std::string> sources,
                                       std::optional<std::string> recent) {
    return [sources, recent](const std::string& key) {
        return key == "sources" ? sources : key == "mru-sources" ? recent : std::nullopt;
    };
}

const std::string kUsRu = "[('xkb', 'us'), ('xkb', 'ru')]";
const std::string kNoSources = "@a(ss) []";

} // namespace

class TestKeyboardIndicator : public QObject {
    Q_OBJECT
private slots:
    void eachLayoutHasItsCaptionFlagAndHint_data() {
        QTest::addColumn<std::string>("layout");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<bool>("englishFlag");
        QTest::addColumn<QString>("russianHint");
        QTest::addColumn<bool>("russianFlag");
        const QString unknown = QStringLiteral("Не известная (не обрабатывается) раскладка");
        QTest::newRow("us") << std::string("us") << "EN" << true << QString() << false;
        QTest::newRow("ru") << std::string("ru") << "RU" << false
                            << QStringLiteral("Активна русская раскладка") << true;
        QTest::newRow("other") << std::string("de") << "??" << false << unknown << true;
        QTest::newRow("upper case") << std::string("US") << "??" << false << unknown << true;
        // No source knows the layout: no flag, no caption, rather than a wrong one.
        QTest::newRow("none") << std::string() << "" << false << QString() << false;
    }

    void eachLayoutHasItsCaptionFlagAndHint() {
        QFETCH(std::string, layout);
        QFETCH(QString, caption);
        QFETCH(bool, englishFlag);
        QFETCH(QString, russianHint);
        QFETCH(bool, russianFlag);
        QWidget window;
        auto* indicator = new KeyboardIndicator(&window);
        window.show();
        indicator->showLayout("ru"); // a state to change from
        indicator->showLayout(layout);
        QCOMPARE(indicator->caption(), caption);
        QCOMPARE(indicator->englishFlag()->isVisible(), englishFlag);
        QCOMPARE(indicator->russianFlag()->isVisible(), russianFlag);
        QCOMPARE(indicator->englishFlag()->toolTip(),
                 QStringLiteral("Активна английская раскладка"));
        if (russianFlag)
            QCOMPARE(indicator->russianFlag()->toolTip(), russianHint);
        QVERIFY(!indicator->englishFlag()->pixmap().isNull());
        QVERIFY(!indicator->russianFlag()->pixmap().isNull());
    }

    void withoutX11NothingIsShownAndAClickIsHarmless() {
        if (KeyboardIndicator::layoutsAvailable())
            QSKIP("Qt runs on X11 here");
        QWidget window;
        auto* indicator = new KeyboardIndicator(&window);
        QVERIFY(test::ShowActive(window));
        indicator->showActiveLayout();
        QCOMPARE(indicator->caption(), QString());
        QVERIFY(!indicator->russianFlag()->isVisible() && !indicator->englishFlag()->isVisible());
        Click(*indicator);
        QTest::mouseClick(indicator, Qt::LeftButton);
        QCOMPARE(indicator->caption(), QString());
    }

    void timerRefreshesOnceAfterAModifierIsReleased() {
        if (KeyboardIndicator::layoutsAvailable())
            QSKIP("Qt runs on X11 here");
        KeyboardIndicator indicator;
        indicator.showLayout("us");
        indicator.startRefreshTimer();
        QCOMPARE(indicator.caption(), QStringLiteral("EN"));
        QVERIFY(indicator.refreshTimer()->isSingleShot());
        QCOMPARE(indicator.refreshTimer()->interval(), 100);
        QTRY_COMPARE(indicator.caption(), QString());
        QVERIFY(!indicator.refreshTimer()->isActive());
    }

    void inputSourceListsAreReadAsGsettingsPrintsThem_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QStringList>("sources"); // kind:name
        QTest::newRow("two") << "[('xkb', 'us'), ('xkb', 'ru')]\n"
                             << true << QStringList{"xkb:us", "xkb:ru"};
        QTest::newRow("variant and engine") << "[('xkb', 'us+intl'), ('ibus', 'libpinyin')]" << true
                                            << QStringList{"xkb:us+intl", "ibus:libpinyin"};
        QTest::newRow("empty, typed") << "@a(ss) []\n" << true << QStringList{};
        QTest::newRow("double quotes") << "[(\"xkb\", \"it's\"), ('xkb', 'a\\'b')]" << true
                                       << QStringList{"xkb:it's", "xkb:a'b"};
        QTest::newRow("no list") << "No such schema" << false << QStringList{};
        QTest::newRow("empty text") << "" << false << QStringList{};
        QTest::newRow("cut short") << "[('xkb', 'us'), ('xkb'" << false << QStringList{};
        QTest::newRow("unquoted") << "[(xkb, us)]" << false << QStringList{};
        QTest::newRow("one string") << "[('xkb')]" << false << QStringList{};
        QTest::newRow("trailing") << "[('xkb', 'us')] x" << false << QStringList{};
    }

    void inputSourceListsAreReadAsGsettingsPrintsThem() {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(QStringList, sources);
        const auto parsed = cq::ParseInputSourceList(text.toStdString());
        QCOMPARE(parsed.has_value(), valid);
        QStringList got;
        for (const cq::InputSource& source : parsed.value_or(std::vector<cq::InputSource>{}))
            got << QString::fromStdString(source.kind + ":" + source.name);
        QCOMPARE(got, sources);
    }

    // Each source and what it answers, the desktop's setting asked first: the flag shown is the
    // layout the desktop has active, or none.
    void eachSourceAnswersOrNothingIsShown_data() {
        QTest::addColumn<std::optional<std::string>>("sources");
        QTest::addColumn<std::optional<std::string>>("recent");
        QTest::addColumn<QString>("inputMethod"); // a locale name; empty: no input method
        QTest::addColumn<bool>("reported");
        QTest::addColumn<QString>("caption");
        const std::optional<std::string> unread;
        const std::string ruUs = "[('xkb', 'ru'), ('xkb', 'us')]";
        QTest::newRow("gnome first source")
            << std::optional(kUsRu) << std::optional(kNoSources) << "" << false << "EN";
        QTest::newRow("gnome russian first")
            << std::optional(ruUs) << std::optional(kNoSources) << "" << false << "RU";
        QTest::newRow("gnome recently used")
            << std::optional(kUsRu) << std::optional(ruUs) << "" << false << "RU";
        QTest::newRow("gnome recent source removed")
            << std::optional(kUsRu) << std::optional("[('xkb', 'de'), ('xkb', 'us')]"s) << ""
            << false << "EN";
        QTest::newRow("gnome variant") << std::optional("[('xkb', 'ru+phonetic'), ('xkb', 'us')]"s)
                                       << std::optional(kNoSources) << "" << false << "RU";
        QTest::newRow("gnome other layout") << std::optional("[('xkb', 'de')]"s)
                                            << std::optional(kNoSources) << "" << false << "??";
        // The setting before the input method: the locale disagrees and is not asked.
        QTest::newRow("gnome over input method")
            << std::optional(kUsRu) << std::optional(ruUs) << "en_US" << true << "RU";
        QTest::newRow("engine: input method asked")
            << std::optional("[('ibus', 'm17n:ru:kbd'), ('xkb', 'us')]"s)
            << std::optional(kNoSources) << "ru_RU" << true << "RU";
        QTest::newRow("engine, nothing else") << std::optional("[('ibus', 'libpinyin')]"s)
                                              << std::optional(kNoSources) << "" << false << "";
        QTest::newRow("no sources configured")
            << std::optional(kNoSources) << std::optional(kNoSources) << "" << false << "";
        QTest::newRow("unreadable setting") << unread << unread << "" << false << "";
        QTest::newRow("recent unreadable") << std::optional(kUsRu) << unread << "" << false << "";
        QTest::newRow("garbled setting")
            << std::optional("[('xkb', "s) << std::optional(kNoSources) << "" << false << "";
        // The input method alone (the system locale here is ru_RU).
        QTest::newRow("input method english") << unread << unread << "en_GB" << false << "EN";
        QTest::newRow("input method russian") << unread << unread << "ru_RU" << true << "RU";
        QTest::newRow("system locale, never reported")
            << unread << unread << "ru_RU" << false << "";
        QTest::newRow("input method other") << unread << unread << "de_DE" << true << "??";
        QTest::newRow("input method C") << unread << unread << "C" << true << "";
    }

    void eachSourceAnswersOrNothingIsShown() {
        QFETCH(std::optional<std::string>, sources);
        QFETCH(std::optional<std::string>, recent);
        QFETCH(QString, inputMethod);
        QFETCH(bool, reported);
        QFETCH(QString, caption);
        KeyboardIndicator indicator;
        KeyboardLayoutSources layoutSources;
        layoutSources.desktopSetting = [read = SettingOf(sources, recent)] {
            return cq::GnomeKeyboardLayout(read);
        };
        if (!inputMethod.isEmpty())
            layoutSources.inputMethod = [inputMethod, reported] {
                return InputMethodLayout(QLocale(inputMethod), QLocale(QStringLiteral("ru_RU")),
                                         reported);
            };
        indicator.setLayoutSources(std::move(layoutSources));
        indicator.showLayout(caption.isEmpty() ? "us" : ""); // a state that must change
        indicator.showActiveLayout();
        QTRY_VERIFY(!indicator.reading());
        QCOMPARE(indicator.caption(), caption);
        QCOMPARE(indicator.englishFlag()->isVisibleTo(&indicator), caption == "EN");
        QCOMPARE(indicator.russianFlag()->isVisibleTo(&indicator),
                 caption == "RU" || caption == "??");
    }

    // The setting is read off the interface thread; asked again meanwhile, the indicator shows
    // the answer of a read that began after the asking, not the older one.
    void aSlowSettingNeitherBlocksNorLeavesAnOldAnswer() {
        std::promise<void> release;
        std::shared_future<void> released = release.get_future().share();
        std::atomic<int> reads = 0;
        std::atomic<bool> russian = false;
        KeyboardIndicator indicator;
        KeyboardLayoutSources layoutSources;
        layoutSources.desktopSetting = [&, released] {
            ++reads;
            released.wait();
            return std::string(russian ? "ru" : "us");
        };
        indicator.setLayoutSources(std::move(layoutSources));
        indicator.showActiveLayout();
        QVERIFY(indicator.reading());
        russian = true;
        indicator.showActiveLayout();
        QCOMPARE(indicator.caption(), QString()); // nothing until the first answer
        release.set_value();
        QTRY_VERIFY(!indicator.reading() && reads == 2);
        QCOMPARE(indicator.caption(), QStringLiteral("RU"));
    }

    void gnomeIsRecognisedAmongTheDesktopNames_data() {
        QTest::addColumn<QString>("desktop");
        QTest::addColumn<bool>("gnome");
        QTest::newRow("gnome") << "GNOME" << true;
        QTest::newRow("derived") << "ubuntu:GNOME" << true;
        QTest::newRow("flashback") << "GNOME-Flashback:GNOME" << true;
        QTest::newRow("classic first") << "GNOME:GNOME-Classic" << true;
        QTest::newRow("other") << "KDE" << false;
        QTest::newRow("prefix only") << "GNOME-Flashback" << false;
        QTest::newRow("inside a name") << "XGNOMEX" << false;
        QTest::newRow("lower case") << "gnome" << false;
        QTest::newRow("unset") << "" << false;
    }

    void gnomeIsRecognisedAmongTheDesktopNames() {
        QFETCH(QString, desktop);
        QFETCH(bool, gnome);
        QCOMPARE(cq::IsGnomeDesktop(desktop.toStdString()), gnome);
    }

    // The real road: gsettings started as a program (a stand-in here), bounded in time, and
    // asked only in a GNOME session.
    void theDesktopSettingIsReadThroughGsettings_data() {
        QTest::addColumn<QString>("desktop");
        QTest::addColumn<QString>("script"); // empty: answers the two keys
        QTest::addColumn<std::string>("layout");
        QTest::newRow("gnome") << "ubuntu:GNOME"
                               << "" << std::string("ru");
        QTest::newRow("another desktop") << "KDE"
                                         << "" << std::string();
        QTest::newRow("gsettings fails") << "GNOME"
                                         << "echo \"[('xkb', 'ru')]\"; exit 1" << std::string();
        QTest::newRow("gsettings hangs") << "GNOME"
                                         << "exec sleep 30" << std::string();
        QTest::newRow("gsettings prints nonsense") << "GNOME"
                                                   << "echo No such schema" << std::string();
    }

    void theDesktopSettingIsReadThroughGsettings() {
        QFETCH(QString, desktop);
        QFETCH(QString, script);
        QFETCH(std::string, layout);
        const test::FakeGsettings gsettings(kUsRu, "[('xkb', 'ru')]", script.toStdString());
        QCOMPARE(cq::DesktopSettingKeyboardLayout(desktop.toStdString()), layout);
    }

    void xkbLayoutListsGiveOneNamePerGroup_data() {
        QTest::addColumn<QString>("list");
        QTest::addColumn<QStringList>("groups");
        QTest::newRow("two") << "us,ru" << QStringList{"us", "ru"};
        QTest::newRow("one") << "ru" << QStringList{"ru"};
        QTest::newRow("variants") << "us(intl),ru(phonetic,x)" << QStringList{"us", "ru"};
        QTest::newRow("spaces") << " us , ru" << QStringList{"us", "ru"};
        QTest::newRow("empty group") << "us,,ru" << QStringList{"us", "", "ru"};
        QTest::newRow("empty") << "" << QStringList{};
        QTest::newRow("unbalanced") << "us),ru(" << QStringList{"us", "ru"};
    }

    void xkbLayoutListsGiveOneNamePerGroup() {
        QFETCH(QString, list);
        QFETCH(QStringList, groups);
        QStringList parsed;
        for (const std::string& group : cq::ParseXkbLayoutList(list.toStdString()))
            parsed << QString::fromStdString(group);
        QCOMPARE(parsed, groups);
    }
};

// Run under Xvfb with Qt on X11 (the CTest entry ui.TestKeyboardIndicatorX11 does that); skipped
// elsewhere.
class TestKeyboardIndicatorX11 : public QObject {
    Q_OBJECT
private slots:
    void init() {
        if (!KeyboardIndicator::layoutsAvailable())
            QSKIP("needs Qt on X11");
        if (!SetLayouts("us,ru"))
            QSKIP("setxkbmap is not available");
    }

    void cleanup() {
        if (KeyboardIndicator::layoutsAvailable())
            SetLayouts("us");
    }

    void clickSwitchesToEnglish() {
        KeyboardIndicator indicator;
        indicator.show();
        QCOMPARE(cq::CurrentKeyboardLayouts().groups, (std::vector<std::string>{"us", "ru"}));
        indicator.showActiveLayout();
        QCOMPARE(indicator.caption(), QStringLiteral("EN"));

        QVERIFY(cq::ActivateKeyboardLayout("ru"));
        QTRY_COMPARE(cq::ActiveKeyboardLayout(), std::string("ru"));
        indicator.showActiveLayout();
        QCOMPARE(indicator.caption(), QStringLiteral("RU"));

        Click(indicator);
        QTRY_COMPARE(cq::ActiveKeyboardLayout(), std::string("us"));
        QCOMPARE(indicator.caption(), QStringLiteral("RU")); // refreshed only when asked
        indicator.startRefreshTimer();
        QTRY_COMPARE(indicator.caption(), QStringLiteral("EN"));
    }

    void withoutAnEnglishGroupAClickChangesNothing() {
        QVERIFY(SetLayouts("ru,de"));
        KeyboardIndicator indicator;
        indicator.show();
        indicator.showActiveLayout();
        QCOMPARE(indicator.caption(), QStringLiteral("RU"));
        QVERIFY(!cq::ActivateKeyboardLayout("us"));
        Click(indicator);
        QVERIFY(cq::ActivateKeyboardLayout("de"));
        QTRY_COMPARE(cq::ActiveKeyboardLayout(), std::string("de"));
        indicator.showActiveLayout();
        QCOMPARE(indicator.caption(), QStringLiteral("??"));
        Click(indicator);
        QTest::qWait(50);
        QCOMPARE(cq::ActiveKeyboardLayout(), std::string("de"));
    }

private:
    static bool SetLayouts(const QString& layouts) {
        return QProcess::execute(QStringLiteral("setxkbmap"), {layouts}) == 0;
    }
};

CQ_UI_TEST(TestKeyboardIndicator);
CQ_UI_TEST(TestKeyboardIndicatorX11);
#include "test_KeyboardIndicator.moc"
