// The help texts by help context: resources, formats, links and the error for an unknown
// context.
#include "UiTestSupport.h"

#include "base/Errors.h"
#include "ui/HelpText.h"
#include "ui/RichTextBox.h"

#include <QFile>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

using namespace cq::ui;

namespace {

const QColor kGreen(0, 128, 0);
const QColor kRed(255, 0, 0);

// The format of the character at `position` of the box's text.
QTextCharFormat FormatAt(const RichTextBox& box, int position) {
    QTextCursor cursor(box.document());
    cursor.setPosition(position + 1);
    return cursor.charFormat();
}

QTextCharFormat FormatOf(const RichTextBox& box, const QString& phrase) {
    const int position = static_cast<int>(box.toPlainText().indexOf(phrase));
    return position < 0 ? QTextCharFormat() : FormatAt(box, position);
}

bool IsBoldIn(const QTextCharFormat& format, const QColor& color) {
    return format.fontWeight() == QFont::Bold && format.foreground().color() == color;
}

QStringList Links(const RichTextBox& box) {
    QStringList links;
    for (QTextBlock block = box.document()->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            if (format.isAnchor() && !links.contains(format.anchorHref()))
                links << format.anchorHref();
        }
    }
    return links;
}

} // namespace

class TestHelpText : public QObject {
    Q_OBJECT
private slots:
    void resourcesAreTheFilesUpToTheirZeroByte() {
        for (int context : {7, 8, 9, 10, 11, 12, 13, 14, 15, 97, 98, 99}) {
            const std::string name = HelpResourceName(context);
            QFile file(QStringLiteral(CQ_HELP_DIR "/") + QString::fromStdString(name) + ".rtf");
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray bytes = file.readAll();
            QVERIFY2(bytes.endsWith('\0'), name.c_str());
            QVERIFY(bytes.contains("\\ansicpg1251"));
            QCOMPARE(QByteArray::fromStdString(LoadTextResource(name)), bytes.chopped(1));
        }
        QCOMPARE(LoadTextResource("NO_SUCH_TEXT"), std::string());
    }

    void fieldTexts_data() {
        QTest::addColumn<int>("context");
        QTest::addColumn<QString>("heading");
        QTest::addColumn<QString>("line");
        QTest::newRow("country") << 7 << "Страна :"
                                 << "Значение - ru, для России.";
        QTest::newRow("state") << 8 << "Область:"
                               << "Например - Moscow";
        QTest::newRow("locality") << 9 << "Город:"
                                  << "Например - Moscow";
        QTest::newRow("organization") << 10 << "Организация:"
                                      << "Например - Quorix";
        QTest::newRow("unit") << 11 << "Подразделение:"
                              << "Например - IT";
        QTest::newRow("common name") << 12 << "ФИО владельца ключа/наименование сервиса:"
                                     << "Например - Ivan Petrov";
    }

    void fieldTexts() {
        QFETCH(int, context);
        QFETCH(QString, heading);
        QFETCH(QString, line);
        RichTextBox box;
        FillHelpText(box, context, {});
        QCOMPARE(box.toPlainText(), heading + "\nТолько латинские символы!\n" + line);
        QVERIFY(IsBoldIn(FormatOf(box, heading), kGreen));
        QCOMPARE(FormatOf(box, line).fontWeight(), QFont::Normal);
    }

    void warningTexts_data() {
        QTest::addColumn<int>("context");
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("rest");
        QTest::newRow("e-mail") << 13 << "Только латинские символы в нижнем регистре!"
                                << "До 40 символов!";
        QTest::newRow("password") << 14 << "Не больше 16 символов"
                                  << "Пароль сертификата нужно запомнить, он потребуется для "
                                     "его использования!";
        QTest::newRow("open password")
            << 15 << "Отключает защиту пароля."
            << "Пароль будет сохранен в папку сертификата в открытом виде!";
    }

    void warningTexts() {
        QFETCH(int, context);
        QFETCH(QString, first);
        QFETCH(QString, rest);
        RichTextBox box;
        FillHelpText(box, context, {});
        const QStringList lines = box.toPlainText().split('\n');
        QCOMPARE(lines.value(0), first);
        QCOMPARE(lines.value(1), "Внимание! " + rest);
        QVERIFY(IsBoldIn(FormatOf(box, "Внимание! "), kRed));
        QVERIFY(IsBoldIn(FormatOf(box, rest), kGreen));
    }

    void sampleAddressIsInLowerCaseAtTheOperatorsDomain() {
        RichTextBox box;
        FillHelpText(box, 13, {});
        QVERIFY(box.toPlainText().endsWith("Например - ivan.petrov@quorix.ru"));
    }

    void procedureTexts_data() {
        QTest::addColumn<int>("context");
        QTest::addColumn<QStringList>("links");
        QTest::addColumn<QStringList>("boldNames");
        QTest::newRow("RSA") << 97 << QStringList{"https://www.quorix.ru"}
                             << QStringList{".cer", ".key", "Certificate.cer", "Certificate.key",
                                            "Request.ini"};
        QTest::newRow("GOST") << 98
                              << QStringList{"https://www.quorix.ru", "https://www.cryptopro.ru",
                                             "https://infotecs.ru"}
                              << QStringList{".cer", "Certificate.cer"};
    }

    void procedureTexts() {
        QFETCH(int, context);
        QFETCH(QStringList, links);
        QFETCH(QStringList, boldNames);
        RichTextBox box;
        box.setAutoUrlDetect(true);
        FillHelpText(box, context, {});
        const QString text = box.toPlainText();
        QVERIFY(text.startsWith("ВНИМАНИЕ!!!, сертификат не создают, если нет подтверждения "
                                "менеджером!"));
        QVERIFY(IsBoldIn(FormatAt(box, 0), kRed));
        QCOMPARE(text.split('\n').value(1), QStringLiteral("https://www.quorix.ru"));
        QCOMPARE(Links(box), links);
        for (const QString& name : boldNames)
            QVERIFY2(FormatOf(box, name).fontWeight() == QFont::Bold, qPrintable(name));
        QCOMPARE(text.contains("не соответствует"), context == 97);
    }

    void addressesAreLinksOnlyWhereDetectionIsOn() {
        RichTextBox box;
        FillHelpText(box, 97, {});
        QVERIFY(Links(box).isEmpty());
    }

    void fileListHasIndentedLinesWithBoldNames() {
        RichTextBox box;
        FillHelpText(box, 99, {});
        const QTextDocument* document = box.document();
        QCOMPARE(document->firstBlock().text(),
                 QStringLiteral("После получения, используемые файлы:"));
        for (const QString name : {"Certificate.cer", "Certificate.key", "QuorixRSA.crt",
                                   "VexoRSA.crt", "QuorixGOST.crt", "VexoGOST.crt"}) {
            const QTextBlock block = document->find(name).block();
            QVERIFY2(qAbs(block.blockFormat().textIndent() - 284.0 * 96 / 1440) < 0.01,
                     qPrintable(name));
            QCOMPARE(FormatOf(box, name).fontWeight(), QFont::Bold);
        }
        QVERIFY(IsBoldIn(FormatOf(box, "только через утилиты криптопровайдера"), kRed));
        QVERIFY(box.toPlainText().contains("«Доверительные корневые центры сертификации»"));
    }

    void contextsWithoutResources() {
        RichTextBox box;
        FillHelpText(box, 97, {});
        FillHelpText(box, -1, "ignored");
        QVERIFY(box.document()->isEmpty());
        // A hint after a formatted text takes the box's own plain format.
        FillHelpText(box, 97, {});
        FillHelpText(box, 0, "Введите имя прокси.");
        QCOMPARE(box.toPlainText(), QStringLiteral("Введите имя прокси."));
        QCOMPARE(FormatAt(box, 0).fontWeight(), QFont::Normal);
        QCOMPARE(FormatAt(box, 0).foreground().color(), box.palette().color(QPalette::Text));
        // Context 0 with an empty hint empties the box.
        FillHelpText(box, 0, {});
        QVERIFY(box.document()->isEmpty());
    }

    void anUnknownContextEmptiesTheBoxAndFails() {
        RichTextBox box;
        FillHelpText(box, 97, {});
        try {
            FillHelpText(box, 5, {});
            QFAIL("no error");
        } catch (const cq::Exception& error) {
            QCOMPARE(QString::fromStdString(error.message()),
                     QStringLiteral("Нет информации под идексом - \"5\""));
        }
        QVERIFY(box.document()->isEmpty());
    }
};

CQ_UI_TEST(TestHelpText);

#include "test_HelpText.moc"
