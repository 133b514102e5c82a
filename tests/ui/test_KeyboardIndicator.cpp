// The keyboard-layout indicator: captions, flags and hints for each layout, the refresh timer,
// and clicks; on X11 (Xvfb with setxkbmap) the click really switches the layout.
#include "UiTestSupport.h"

#include "platform/KeyboardLayout.h"
#include "ui/KeyboardIndicator.h"

#include <QLabel>
#include <QProcess>
#include <QTest>
#include <QTimer>

using namespace cq::ui;

Q_DECLARE_METATYPE(std::string)

namespace {

void Click(KeyboardIndicator& indicator) {
    QTest::mouseClick(indicator.captionLabel(), Qt::LeftButton);
}

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
