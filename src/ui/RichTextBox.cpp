#include "ui/RichTextBox.h"

#include "ui/RichText.h"

#include <QMouseEvent>
#include <QTextBlock>
#include <QTextFrame>

#include <algorithm>
#include <vector>

namespace cq::ui {
namespace {

// The colour of links in help texts.
const QColor kLinkColor(0, 0, 255);

} // namespace

RichTextBox::RichTextBox(QWidget* parent) : QTextEdit(parent) {
    setReadOnly(true);
    // Selectable with the mouse; no caret, as nothing is typed here.
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::LinksAccessibleByMouse);
    setFrameShape(QFrame::NoFrame);
    setAcceptRichText(true);
    setBackgroundRole(QPalette::Window);
    viewport()->setBackgroundRole(QPalette::Window);
    setAutoFillBackground(false);
    document()->setDocumentMargin(0);
}

void RichTextBox::setFormattingInset(int horizontal, int vertical) {
    horizontalInset_ = horizontal;
    verticalInset_ = vertical;
    finishText();
}

void RichTextBox::finishText() {
    QTextFrameFormat root = document()->rootFrame()->frameFormat();
    root.setLeftMargin(horizontalInset_);
    root.setRightMargin(horizontalInset_);
    root.setTopMargin(verticalInset_);
    root.setBottomMargin(verticalInset_);
    document()->rootFrame()->setFrameFormat(root);
    if (autoUrlDetect_)
        MarkWebAddresses(*document(), kLinkColor);
}

bool RichTextBox::selectLinkAt(int position) {
    const QTextBlock block = document()->findBlock(position);
    std::vector<QTextFragment> fragments;
    for (auto it = block.begin(); !it.atEnd(); ++it)
        fragments.push_back(it.fragment());
    const auto hit = std::find_if(fragments.begin(), fragments.end(), [&](const QTextFragment& f) {
        return f.contains(position) && f.charFormat().isAnchor();
    });
    if (hit == fragments.end())
        return false;
    // A link may be split over fragments of different formats with the same target.
    const QString href = hit->charFormat().anchorHref();
    const auto sameLink = [&](const QTextFragment& f) {
        return f.charFormat().isAnchor() && f.charFormat().anchorHref() == href;
    };
    auto first = hit;
    while (first != fragments.begin() && sameLink(*std::prev(first)))
        --first;
    auto last = hit;
    while (std::next(last) != fragments.end() && sameLink(*std::next(last)))
        ++last;
    QTextCursor selection(document());
    selection.setPosition(first->position());
    selection.setPosition(last->position() + last->length(), QTextCursor::KeepAnchor);
    setTextCursor(selection);
    return selection.hasSelection();
}

void RichTextBox::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && !anchorAt(event->position().toPoint()).isEmpty()) {
        const int position = cursorForPosition(event->position().toPoint()).position();
        // The cursor lands between characters; the link may lie on either side of it.
        if (selectLinkAt(position) || (position > 0 && selectLinkAt(position - 1))) {
            event->accept();
            emit linkPressed();
            return;
        }
    }
    QTextEdit::mousePressEvent(event);
}

} // namespace cq::ui
