#pragma once
// Formatted help texts in Qt text documents: an RTF document read by RtfReader becomes blocks
// and character formats, and web addresses in a document become links.

#include "base/RtfReader.h"

#include <QString>
#include <QTextCharFormat>

class QTextCursor;
class QTextDocument;

namespace cq::ui {

/// Inserts the paragraphs of `rtf` at the cursor. Characters without a size or colour of their
/// own keep those of `base`; bold, italic and underline are the document's.
void InsertRtf(QTextCursor& cursor, const RtfDocument& rtf, const QTextCharFormat& base);

/// Character ranges [start, end) of the web addresses in a text: words beginning with
/// "http://", "https://", "ftp://", "mailto:" or "www.", without trailing punctuation.
std::vector<std::pair<int, int>> FindWebAddresses(const QString& text);

/// Turns every web address in the document into a link (underlined, in `linkColor`) whose
/// target is the address itself.
void MarkWebAddresses(QTextDocument& document, const QColor& linkColor);

/// What opening a link's text hands to the desktop: the text, with "http://" in front of an
/// address that starts with "www.".
QString LinkTarget(const QString& linkText);

} // namespace cq::ui
