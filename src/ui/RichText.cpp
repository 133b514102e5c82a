#include "ui/RichText.h"

#include <QRegularExpression>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace cq::ui {
namespace {

// Document units are pixels at 96 per inch; RTF measures in twentieths of a point.
constexpr double kPixelsPerTwip = 96.0 / 1440.0;

QTextCharFormat CharFormat(const RtfCharFormat& format, const QTextCharFormat& base) {
    QTextCharFormat result = base;
    result.setFontWeight(format.bold ? QFont::Bold : QFont::Normal);
    result.setFontItalic(format.italic);
    result.setFontUnderline(format.underline);
    if (format.color)
        result.setForeground(QColor(format.color->red, format.color->green, format.color->blue));
    if (format.halfPoints > 0)
        result.setFontPointSize(format.halfPoints / 2.0);
    return result;
}

QTextBlockFormat BlockFormat(const RtfParagraph& paragraph) {
    QTextBlockFormat result;
    result.setTextIndent(paragraph.firstIndentTwips * kPixelsPerTwip);
    result.setLeftMargin(paragraph.leftIndentTwips * kPixelsPerTwip);
    return result;
}

} // namespace

void InsertRtf(QTextCursor& cursor, const RtfDocument& rtf, const QTextCharFormat& base) {
    bool first = true;
    for (const RtfParagraph& paragraph : rtf.paragraphs) {
        if (first)
            cursor.setBlockFormat(BlockFormat(paragraph));
        else
            cursor.insertBlock(BlockFormat(paragraph), base);
        first = false;
        for (const RtfRun& run : paragraph.runs)
            cursor.insertText(QString::fromStdString(run.text), CharFormat(run.format, base));
    }
}

std::vector<std::pair<int, int>> FindWebAddresses(const QString& text) {
    static const QRegularExpression address(
        QStringLiteral(R"((?:https?://|ftp://|mailto:|www\.)[^\s<>"«»]+)"),
        QRegularExpression::CaseInsensitiveOption);
    static const QString trailing = QStringLiteral(".,;:!?)]}'");
    std::vector<std::pair<int, int>> ranges;
    auto matches = address.globalMatch(text);
    while (matches.hasNext()) {
        const auto match = matches.next();
        const int start = static_cast<int>(match.capturedStart());
        int end = static_cast<int>(match.capturedEnd());
        while (end > start && trailing.contains(text.at(end - 1)))
            --end;
        const bool startsWord = start == 0 || !text.at(start - 1).isLetterOrNumber();
        if (startsWord && end > start)
            ranges.emplace_back(start, end);
    }
    return ranges;
}

void MarkWebAddresses(QTextDocument& document, const QColor& linkColor) {
    const QString text = document.toPlainText();
    for (const auto& [start, end] : FindWebAddresses(text)) {
        QTextCursor cursor(&document);
        cursor.setPosition(start);
        cursor.setPosition(end, QTextCursor::KeepAnchor);
        QTextCharFormat link;
        link.setAnchor(true);
        link.setAnchorHref(text.mid(start, end - start));
        link.setFontUnderline(true);
        link.setForeground(linkColor);
        cursor.mergeCharFormat(link);
    }
}

QString LinkTarget(const QString& linkText) {
    if (linkText.startsWith(QStringLiteral("www."), Qt::CaseInsensitive))
        return QStringLiteral("http://") + linkText;
    return linkText;
}

} // namespace cq::ui
