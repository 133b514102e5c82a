// The line edit that owns its rules: each rule on each route text takes into it. Typing drops a
// refused character (with the beep) and keeps the rest; the paste routes refuse a text with a
// refused character whole, with the error box, and cut an allowed one to the width; input
// methods and the accessibility interface change the text whole or not at all (a refused
// character beeps there too).
#include "UiTestSupport.h"

#include "ui/BaseForm.h"
#include "ui/RuleLineEdit.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QDropEvent>
#include <QInputMethodEvent>
#include <QMimeData>
#include <QTest>
#include <QVBoxLayout>

using namespace cq::ui;

namespace {

enum class Route { Typing, CtrlV, ShiftInsert, Drop, MiddleButton, InputMethod, Accessible };

enum class Rule { Subject, Email, Country, KeyPassword };

RuleLineEdit* MakeEdit(Rule rule, QWidget* parent) {
    switch (rule) {
    case Rule::Subject:
        return new RuleLineEdit(cq::FieldFilter::Subject, 64, parent);
    case Rule::Email:
        return new RuleLineEdit(cq::FieldFilter::Email, 40, parent);
    case Rule::Country:
        return new RuleLineEdit(cq::FieldFilter::Subject, 2, parent);
    case Rule::KeyPassword:
        break;
    }
    return RuleLineEdit::makeKeyPassword(parent);
}

// Types a text key by key; letters QTest cannot name come as keys with their text.
void TypeText(QWidget* edit, const QString& text) {
    for (const uint c : text.toUcs4()) {
        const QString one = QString::fromUcs4(reinterpret_cast<const char32_t*>(&c), 1);
        QTest::sendKeyEvent(QTest::Press, edit, Qt::Key_unknown, one, Qt::NoModifier);
        QTest::sendKeyEvent(QTest::Release, edit, Qt::Key_unknown, one, Qt::NoModifier);
    }
}

void Drop(QWidget* edit, const QString& text) {
    QMimeData data;
    data.setText(text);
    const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction;
    QDragEnterEvent enter(QPoint(5, 5), actions, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(edit, &enter);
    QDropEvent drop(QPointF(5, 5), actions, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(edit, &drop);
}

void Enter(RuleLineEdit* edit, Route route, const QString& text) {
    switch (route) {
    case Route::Typing:
        TypeText(edit, text);
        break;
    case Route::CtrlV:
        QApplication::clipboard()->setText(text);
        QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
        break;
    case Route::ShiftInsert:
        QApplication::clipboard()->setText(text);
        QTest::keyClick(edit, Qt::Key_Insert, Qt::ShiftModifier);
        break;
    case Route::Drop:
        Drop(edit, text);
        break;
    case Route::MiddleButton:
        QApplication::clipboard()->setText(text, QClipboard::Selection);
        QTest::mouseClick(edit, Qt::MiddleButton);
        break;
    case Route::InputMethod: {
        QInputMethodEvent event;
        event.setCommitString(text);
        QApplication::sendEvent(edit, &event);
        break;
    }
    case Route::Accessible:
        QAccessible::queryAccessibleInterface(edit)->setText(QAccessible::Value, text);
        break;
    }
}

} // namespace

class TestRuleLineEdit : public QObject {
    Q_OBJECT
private slots:
    void init() {
        test::TakeBoxes();
        beeps_ = 0;
        RuleLineEdit::setBeeper([this] { ++beeps_; });
    }
    void cleanup() {
        RuleLineEdit::setBeeper({});
        QtDialogs::clearNextAnswers();
    }

    void eachRuleHoldsOnEachRoute_data() {
        QTest::addColumn<int>("rule");
        QTest::addColumn<int>("route");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("kept");
        QTest::addColumn<int>("boxes");
        QTest::addColumn<int>("beeps");
        struct Case {
            const char* name;
            Rule rule;
            QString text;
            QString typed; // what typing keeps
            int refusedKeys;
            QString pasted; // what a paste keeps ("" and a box when refused whole)
            bool refusedPaste;
        };
        const QString longPassword = QStringLiteral("abcdefghijklmnopqrstuvwxyz0123");
        const Case cases[] = {
            {"subject", Rule::Subject, QStringLiteral("Petrov, Ivan"),
             QStringLiteral("Petrov Ivan"), 1, QString(), true},
            {"subject allowed", Rule::Subject, QStringLiteral("Ivan Petrov-2."),
             QStringLiteral("Ivan Petrov-2."), 0, QStringLiteral("Ivan Petrov-2."), false},
            {"e-mail", Rule::Email, QStringLiteral("Ivan@x.y"), QStringLiteral("van@x.y"), 1,
             QString(), true},
            {"width", Rule::Country, QStringLiteral("rus"), QStringLiteral("ru"), 0,
             QStringLiteral("ru"), false},
            {"key password outside 1251", Rule::KeyPassword, QStringLiteral("pw中文Ж€"),
             QStringLiteral("pwЖ€"), 2, QString(), true},
            {"key password width", Rule::KeyPassword, longPassword, longPassword.left(16), 0,
             longPassword.left(16), false},
        };
        const std::pair<Route, const char*> routes[] = {{Route::Typing, "typing"},
                                                        {Route::CtrlV, "Ctrl+V"},
                                                        {Route::ShiftInsert, "Shift+Insert"},
                                                        {Route::Drop, "drop"},
                                                        {Route::MiddleButton, "middle button"},
                                                        {Route::InputMethod, "input method"},
                                                        {Route::Accessible, "accessibility"}};
        for (const Case& c : cases) {
            for (const auto& [route, routeName] : routes) {
                const bool typing = route == Route::Typing;
                const bool whole = route == Route::InputMethod || route == Route::Accessible;
                const bool fits = c.typed == c.text;
                const QString kept = typing  ? c.typed
                                     : whole ? (fits ? c.text : QString())
                                             : c.pasted;
                QTest::addRow("%s, %s", c.name, routeName)
                    << static_cast<int>(c.rule) << static_cast<int>(route) << c.text << kept
                    << (!typing && !whole && c.refusedPaste ? 1 : 0)
                    << (typing                       ? c.refusedKeys
                        : whole && c.refusedKeys > 0 ? 1
                                                     : 0);
            }
        }
    }

    void eachRuleHoldsOnEachRoute() {
        QFETCH(int, rule);
        QFETCH(int, route);
        QFETCH(QString, text);
        QFETCH(QString, kept);
        QFETCH(int, boxes);
        QFETCH(int, beeps);
        if (static_cast<Route>(route) == Route::MiddleButton &&
            !QApplication::clipboard()->supportsSelection())
            QSKIP("no selection clipboard on this platform");
        BaseForm form;
        auto* edit = MakeEdit(static_cast<Rule>(rule), &form);
        (new QVBoxLayout(&form))->addWidget(edit);
        QVERIFY(test::ShowActive(form));
        edit->setFocus();
        if (boxes > 0)
            QtDialogs::setNextAnswer(QMessageBox::Ok);
        Enter(edit, static_cast<Route>(route), text);
        QCOMPARE(edit->text(), kept);
        QCOMPARE(test::TakeBoxes().size(), boxes);
        QCOMPARE(beeps_, beeps);
    }

private:
    int beeps_ = 0;
};
CQ_UI_TEST(TestRuleLineEdit);

#include "test_RuleLineEdit.moc"
