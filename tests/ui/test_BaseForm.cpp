// The base form: Enter and Escape, its own cut/copy/paste, the empty context menu and the size
// limits for the screen's pixels per inch.
#include "UiTestSupport.h"

#include "ui/BaseForm.h"
#include "ui/RichTextBox.h"
#include "ui/SizeLimits.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>

using namespace cq::ui;

namespace {

// A form with one control of every kind the base form treats specially.
class Form : public BaseForm {
public:
    Form() {
        auto* layout = new QVBoxLayout(this);
        for (QWidget* control : std::initializer_list<QWidget*>{
                 line, readOnlyLine, password, multiLine, rich, plain, button, last})
            layout->addWidget(control);
        readOnlyLine->setReadOnly(true);
        password->setEchoMode(QLineEdit::Password);
        rich->setReadOnly(false);
        last->setObjectName("last");
        for (QWidget* control : std::initializer_list<QWidget*>{line, multiLine, rich})
            suppressContextMenu(control);
        adjustSizeLimitsToScreen();
    }

    QLineEdit* line = new QLineEdit;
    QLineEdit* readOnlyLine = new QLineEdit;
    QLineEdit* password = new QLineEdit;
    QTextEdit* multiLine = new QTextEdit;
    RichTextBox* rich = new RichTextBox;
    QPlainTextEdit* plain = new QPlainTextEdit;
    QPushButton* button = new QPushButton("Кнопка");
    QLineEdit* last = new QLineEdit;
};

QString TextOf(QWidget* control) {
    if (auto* line = qobject_cast<QLineEdit*>(control))
        return line->text();
    if (auto* text = qobject_cast<QTextEdit*>(control))
        return text->toPlainText();
    return qobject_cast<QPlainTextEdit*>(control)->toPlainText();
}

// Puts "abc" into the control with "b" selected.
void FillAndSelect(QWidget* control) {
    if (auto* line = qobject_cast<QLineEdit*>(control)) {
        line->setText("abc");
        line->setSelection(1, 1);
        return;
    }
    auto select = [](auto* edit) {
        edit->setPlainText("abc");
        QTextCursor cursor = edit->textCursor();
        cursor.setPosition(1);
        cursor.setPosition(2, QTextCursor::KeepAnchor);
        edit->setTextCursor(cursor);
    };
    if (auto* text = qobject_cast<QTextEdit*>(control))
        select(text);
    else
        select(qobject_cast<QPlainTextEdit*>(control));
}

// Counts focus changes of one control.
// Records the focus changes of one control.
class FocusRecorder : public QObject {
public:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::FocusOut)
            changes << "out";
        if (event->type() == QEvent::FocusIn)
            changes << "in";
        return false;
    }
    QStringList changes;
};

QWidget* Control(Form& form, const QString& name) {
    const std::map<QString, QWidget*> controls = {
        {"line", form.line},         {"readOnlyLine", form.readOnlyLine},
        {"password", form.password}, {"multiLine", form.multiLine},
        {"rich", form.rich},         {"plain", form.plain},
        {"button", form.button}};
    return controls.at(name);
}

} // namespace

class TestBaseForm : public QObject {
    Q_OBJECT
private slots:
    void enterMovesOnWithoutInserting_data() {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("next");
        QTest::newRow("single-line") << "line"
                                     << "readOnlyLine";
        QTest::newRow("multi-line") << "multiLine"
                                    << "rich";
        QTest::newRow("rich text") << "rich"
                                   << "plain";
        QTest::newRow("plain multi-line") << "plain"
                                          << "button";
    }

    void enterMovesOnWithoutInserting() {
        QFETCH(QString, control);
        QFETCH(QString, next);
        Form form;
        QVERIFY(test::ShowActive(form));
        QWidget* field = Control(form, control);
        field->setFocus();
        QTest::keyClicks(field, "ab");
        QTest::keyClick(field, Qt::Key_Return);
        QCOMPARE(TextOf(field), QStringLiteral("ab"));
        QCOMPARE(QApplication::focusWidget(), Control(form, next));
    }

    void enterClicksAFocusedButton() {
        Form form;
        QVERIFY(test::ShowActive(form));
        int clicks = 0;
        connect(form.button, &QPushButton::clicked, [&] { ++clicks; });
        form.button->setFocus();
        QTest::keyClick(form.button, Qt::Key_Return);
        QCOMPARE(clicks, 1);
        QCOMPARE(QApplication::focusWidget(), form.button);
    }

    void escapeLeavesAndReentersTheFieldThenCloses() {
        Form form;
        QVERIFY(test::ShowActive(form));
        form.line->setFocus();
        FocusRecorder recorder;
        form.line->installEventFilter(&recorder);
        QStringList changesBeforeClose;
        connect(&form, &BaseForm::closed, [&] { changesBeforeClose = recorder.changes; });
        QTest::keyClick(form.line, Qt::Key_Escape);
        QCOMPARE(changesBeforeClose, (QStringList{"out", "in"}));
        QVERIFY(!form.isVisible());
        QCOMPARE(form.modalResult(), BaseForm::ModalResult::Cancel);
    }

    void editActions_data() {
        QTest::addColumn<QString>("control");
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("clipboard");
        const int cut = (Qt::CTRL | Qt::Key_X).toCombined();
        const int copy = (Qt::CTRL | Qt::Key_C).toCombined();
        const int paste = (Qt::CTRL | Qt::Key_V).toCombined();
        // The older keys of the same actions follow the same rules.
        const int shiftDelete = (Qt::SHIFT | Qt::Key_Delete).toCombined();
        const int ctrlInsert = (Qt::CTRL | Qt::Key_Insert).toCombined();
        const int shiftInsert = (Qt::SHIFT | Qt::Key_Insert).toCombined();
        QTest::newRow("paste, single-line") << "line" << paste << "aXYc"
                                            << "XY";
        QTest::newRow("paste, multi-line") << "plain" << paste << "aXYc"
                                           << "XY";
        QTest::newRow("paste, rich text as plain text") << "rich" << paste << "aXYc"
                                                        << "XY";
        QTest::newRow("paste, read-only: nothing") << "readOnlyLine" << paste << "abc"
                                                   << "XY";
        QTest::newRow("cut, single-line") << "line" << cut << "ac"
                                          << "b";
        QTest::newRow("cut, multi-line") << "multiLine" << cut << "ac"
                                         << "b";
        QTest::newRow("cut, read-only: copied, kept") << "readOnlyLine" << cut << "abc"
                                                      << "b";
        QTest::newRow("copy, read-only") << "readOnlyLine" << copy << "abc"
                                         << "b";
        QTest::newRow("copy, rich text") << "rich" << copy << "abc"
                                         << "b";
        QTest::newRow("copy, masked: clipboard kept") << "password" << copy << "abc"
                                                      << "XY";
        QTest::newRow("cut, masked: nothing, the secret kept") << "password" << cut << "abc"
                                                               << "XY";
        QTest::newRow("Shift+Insert, single-line") << "line" << shiftInsert << "aXYc"
                                                   << "XY";
        QTest::newRow("Shift+Insert, read-only: nothing") << "readOnlyLine" << shiftInsert << "abc"
                                                          << "XY";
        QTest::newRow("Shift+Delete, single-line") << "line" << shiftDelete << "ac"
                                                   << "b";
        QTest::newRow("Shift+Delete, read-only: copied, kept")
            << "readOnlyLine" << shiftDelete << "abc"
            << "b";
        QTest::newRow("Shift+Delete, masked: nothing, the secret kept")
            << "password" << shiftDelete << "abc"
            << "XY";
        QTest::newRow("Ctrl+Insert, single-line") << "line" << ctrlInsert << "abc"
                                                  << "b";
        QTest::newRow("Ctrl+Insert, masked: clipboard kept") << "password" << ctrlInsert << "abc"
                                                             << "XY";
    }

    void editActions() {
        QFETCH(QString, control);
        QFETCH(int, key);
        QFETCH(QString, text);
        QFETCH(QString, clipboard);
        Form form;
        QVERIFY(test::ShowActive(form));
        QWidget* field = Control(form, control);
        field->setFocus();
        FillAndSelect(field);
        QApplication::clipboard()->setText("XY");
        const QKeyCombination pressed = QKeyCombination::fromCombined(key);
        QTest::keyClick(field, pressed.key(), pressed.keyboardModifiers());
        QCOMPARE(TextOf(field), text);
        QCOMPARE(QApplication::clipboard()->text(), clipboard);
    }

    void copyWithoutSelectionKeepsTheClipboard() {
        Form form;
        QVERIFY(test::ShowActive(form));
        form.line->setText("abc");
        form.line->setFocus();
        form.line->deselect();
        QApplication::clipboard()->setText("XY");
        QTest::keyClick(form.line, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("XY"));
    }

    void contextMenuIsEmpty_data() {
        QTest::addColumn<QString>("control");
        QTest::addColumn<bool>("menuShown");
        QTest::newRow("single-line") << "line" << false;
        QTest::newRow("multi-line") << "multiLine" << false;
        QTest::newRow("rich text") << "rich" << false;
        QTest::newRow("a control without it keeps its own") << "plain" << true;
    }

    void contextMenuIsEmpty() {
        QFETCH(QString, control);
        QFETCH(bool, menuShown);
        Form form;
        QVERIFY(test::ShowActive(form));
        QWidget* field = Control(form, control);
        auto* area = qobject_cast<QAbstractScrollArea*>(field);
        QWidget* target = area ? area->viewport() : field;
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5),
                                target->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(target, &event);
        QWidget* popup = QApplication::activePopupWidget();
        QCOMPARE(popup != nullptr, menuShown);
        if (popup)
            popup->close();
    }

    void sizeLimitsFollowTheScreen_data() {
        QTest::addColumn<double>("pixelsPerInch");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("minHeight");
        QTest::addColumn<int>("maxHeight");
        QTest::addColumn<int>("expectedMin");
        QTest::addColumn<int>("expectedMax");
        QTest::newRow("120 dpi: 400 high, minimum 300") << 120.0 << 400 << 300 << 0 << 366 << 0;
        QTest::newRow("96 dpi: unchanged") << 96.0 << 400 << 300 << 500 << 300 << 500;
        QTest::newRow("72 dpi: unchanged") << 72.0 << 400 << 300 << 500 << 300 << 500;
        QTest::newRow("144 dpi: both limits") << 144.0 << 206 << 100 << 400 << 182 << 482;
        QTest::newRow("a half rounds to even: 0.5 -> 0") << 103.5 << 103 << 50 << 0 << 50 << 0;
        QTest::newRow("a half rounds to even: 1.5 -> 2") << 104.5 << 103 << 50 << 0 << 52 << 0;
    }

    void sizeLimitsFollowTheScreen() {
        QFETCH(double, pixelsPerInch);
        QFETCH(int, height);
        QFETCH(int, minHeight);
        QFETCH(int, maxHeight);
        QFETCH(int, expectedMin);
        QFETCH(int, expectedMax);
        const SizeLimits scaled =
            ScaleSizeLimits({maxHeight, minHeight, 0, 0}, 422, height, pixelsPerInch);
        QCOMPARE(scaled.minHeight, expectedMin);
        QCOMPARE(scaled.maxHeight, expectedMax);
        QCOMPARE(scaled.minWidth, 0); // unset limits stay unset
        QCOMPARE(scaled.maxWidth, 0);
    }
};

CQ_UI_TEST(TestBaseForm);

#include "test_BaseForm.moc"
