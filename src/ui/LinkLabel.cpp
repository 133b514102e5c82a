#include "ui/LinkLabel.h"

#include "ui/FormParts.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyleOptionFocusRect>
#include <QStylePainter>

namespace cq::ui {
namespace {

const QColor kNavy(0, 0, 128);
const QColor kHoverBlue(0, 0, 255);

} // namespace

LinkLabel::LinkLabel(const QString& caption, const QString& hint, QWidget* parent)
    : QLabel(caption, parent) {
    setFont(Emphasis(true, true));
    QPalette colours = palette();
    colours.setColor(QPalette::WindowText, kNavy);
    // A disabled link reads grey, whatever its colour.
    colours.setColor(QPalette::Disabled, QPalette::WindowText,
                     colours.color(QPalette::Disabled, QPalette::Text));
    setPalette(colours);
    setCursor(Qt::PointingHandCursor);
    setToolTip(hint);
    setFocusPolicy(Qt::StrongFocus);
    if (caption.contains(QLatin1Char('&')))
        setBuddy(this); // Alt with the marked letter takes the focus here
}

void LinkLabel::activate() {
    if (isEnabled())
        emit activated();
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return QLabel::mouseReleaseEvent(event);
    event->accept();
    activate();
}

void LinkLabel::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
        if (key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter) {
            event->accept();
            activate();
            return;
        }
    }
    QLabel::keyPressEvent(event);
}

void LinkLabel::enterEvent(QEnterEvent* event) {
    QLabel::enterEvent(event);
    showHover(true);
}

void LinkLabel::leaveEvent(QEvent* event) {
    QLabel::leaveEvent(event);
    showHover(false);
}

// Blue and not underlined under the mouse, navy and underlined otherwise; bold in both. A
// pressed mouse button held elsewhere (a drag) leaves it alone.
void LinkLabel::showHover(bool hovered) {
    if (hovered == hovered_ || (hovered && QWidget::mouseGrabber()))
        return;
    hovered_ = hovered;
    QPalette colours = palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive})
        colours.setColor(group, QPalette::WindowText, hovered ? kHoverBlue : kNavy);
    setPalette(colours);
    setFont(Emphasis(true, !hovered));
}

void LinkLabel::paintEvent(QPaintEvent* event) {
    QLabel::paintEvent(event);
    if (!hasFocus())
        return;
    QStylePainter painter(this);
    QStyleOptionFocusRect frame;
    frame.initFrom(this);
    frame.rect = contentsRect();
    painter.drawPrimitive(QStyle::PE_FrameFocusRect, frame);
}

} // namespace cq::ui
