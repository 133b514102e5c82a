// The RTF reader on the subset the help texts use, and on broken input.
#include "UiTestSupport.h"

#include "base/RtfReader.h"

#include <QTest>

using cq::ReadRtf;
using cq::RtfDocument;

namespace {

// A document as text: paragraphs joined by " | ", "<fi N li M>" for indents, and every run with
// a format of its own as "[attributes:text]" (b, i, u, #rrggbb, sN for N half points).
QString Describe(const RtfDocument& document) {
    QStringList paragraphs;
    for (const auto& paragraph : document.paragraphs) {
        QString text;
        if (paragraph.firstIndentTwips != 0 || paragraph.leftIndentTwips != 0)
            text += QStringLiteral("<fi %1 li %2>")
                        .arg(paragraph.firstIndentTwips)
                        .arg(paragraph.leftIndentTwips);
        for (const auto& run : paragraph.runs) {
            QStringList attributes;
            if (run.format.bold)
                attributes << "b";
            if (run.format.italic)
                attributes << "i";
            if (run.format.underline)
                attributes << "u";
            if (run.format.color)
                attributes << QColor(run.format.color->red, run.format.color->green,
                                     run.format.color->blue)
                                  .name();
            if (run.format.halfPoints > 0)
                attributes << QStringLiteral("s%1").arg(run.format.halfPoints);
            const QString runText = QString::fromStdString(run.text);
            text +=
                attributes.isEmpty() ? runText : "[" + attributes.join(',') + ":" + runText + "]";
        }
        paragraphs << text;
    }
    return paragraphs.join(" | ");
}

} // namespace

class TestRtfReader : public QObject {
    Q_OBJECT
private slots:
    void reads_data() {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* name, QByteArray rtf, const QString& expected) {
            QTest::newRow(name) << rtf << expected;
        };
        row("plain text", R"({\rtf1\ansi Hello, world})", "Hello, world");
        row("escaped and raw code page 1251",
            "{\\rtf1\\ansi\\ansicpg1251 \\'cf\\'f0\\'e8\xe2\xe5\xf2}", "Привет");
        row("bold, italic and underline switched on and off",
            R"({\rtf1 a\b b\b0 c\i d\i0\ul e\ulnone f\ul g\ul0 h})", "a[b:b]c[i:d][u:e]f[u:g]h");
        row("a group keeps its format to itself", R"({\rtf1 {\b\i bold}plain})", "[b,i:bold]plain");
        row("colours from the colour table",
            R"({\rtf1{\colortbl ;\red0\green128\blue0;\red255\green0\blue0;}\cf1 g\cf2 r\cf0 n\cf9 x})",
            "[#008000:g][#ff0000:r]nx");
        row("a colour table without its auto entry",
            R"({\rtf1{\colortbl\red1\green2\blue3;\red4\green5\blue6}\cf0 a\cf1 b})",
            "[#010203:a][#040506:b]");
        row("character size", R"({\rtf1\fs16 a\fs0 b})", "[s16:a]b");
        row("plain resets the character format", R"({\rtf1\b\cf0\fs20 a\plain b})", "[b,s20:a]b");
        row("paragraphs take the indents in force at their end",
            R"({\rtf1\pard\fi284 a\par\li-100 b\par\pard c\par})",
            "<fi 284 li 0>a | <fi 284 li -100>b | c");
        row("empty paragraphs stay, the last mark opens none", R"({\rtf1 a\par\par b\par})",
            "a |  | b");
        row("tabs, line breaks and unicode characters",
            R"({\rtf1 a\tab b\line c\u1046?d\uc0\u-1e})", "a\tb\u2028cЖd\uFFFFe");
        row("text of skipped destinations is not shown",
            R"({\rtf1{\fonttbl{\f0\fswiss Arial;}}{\*\generator Writer;}{\info{\title T}}{\*\unknown u}text})",
            "text");
        row("escaped braces and backslash", R"({\rtf1 \{x\}\\})", "{x}\\");
        row("special characters", R"({\rtf1 a\~b\_c\-d})", "a\u00A0b\u2011cd");
        row("line ends in the source are no text", "{\\rtf1 a\r\nb\\\r\nc}", "ab | c");
        row("the closing zero byte ends the text", QByteArray("{\\rtf1 ab\0cd}", 13), "ab");
        row("the end of the outer group ends the text", R"({\rtf1 a}b{c})", "a");
        row("an unclosed document gives what was read", R"({\rtf1 {\b a)", "[b:a]");
        row("a stray closing brace ends the text", R"(} a)", "");
        row("broken escapes and words", "{\\rtf1 a\\'4\\'zz\\", "azz");
        row("huge and negative parameters are bounded",
            R"({\rtf1\fs99999999999999 a\fi-99999999999 b\cf-3 c\par})",
            "<fi -31680 li 0>[s3276:abc]");
    }

    void reads() {
        QFETCH(QByteArray, rtf);
        QFETCH(QString, expected);
        QCOMPARE(Describe(ReadRtf(std::string_view(rtf.constData(), rtf.size()))), expected);
    }

    void deepNestingIsBounded() {
        const std::string open(100000, '{');
        const auto document = ReadRtf(open + "\\b deep" + std::string(100000, '}') + "after");
        QCOMPARE(Describe(document), QStringLiteral("[b:deep]"));
    }
};

CQ_UI_TEST(TestRtfReader);

#include "test_RtfReader.moc"
