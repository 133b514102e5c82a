#include "ui/SameWidthGroup.h"

#include <QEvent>
#include <QLabel>

#include <algorithm>

namespace cq::ui {

SameWidthGroup::SameWidthGroup(int designWidth, QObject* parent)
    : QObject(parent), designWidth_(designWidth) {}

void SameWidthGroup::add(QWidget* widget) {
    widgets_ << widget;
    widget->installEventFilter(this);
    apply();
}

namespace {

// The width a widget needs for its caption. A label counts its minimum width into its size hint,
// so its text is measured instead.
int NaturalWidth(const QWidget& widget) {
    const auto* label = qobject_cast<const QLabel*>(&widget);
    if (!label)
        return widget.sizeHint().width();
    const QRect text = label->fontMetrics().boundingRect(
        QRect(0, 0, QWIDGETSIZE_MAX, QWIDGETSIZE_MAX), Qt::TextShowMnemonic, label->text());
    const QMargins margins = label->contentsMargins();
    return text.width() + margins.left() + margins.right() + 2 * label->margin() +
           std::max(0, label->indent());
}

} // namespace

int SameWidthGroup::width() const {
    int widest = designWidth_;
    for (const QWidget* widget : widgets_)
        if (widget)
            widest = std::max(widest, NaturalWidth(*widget));
    return widest;
}

void SameWidthGroup::apply() {
    const int common = width();
    for (QWidget* widget : widgets_)
        if (widget)
            widget->setMinimumWidth(common);
}

bool SameWidthGroup::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    // The widget takes the change after this filter has seen it; the width is measured once the
    // change is complete.
    if ((type == QEvent::FontChange || type == QEvent::StyleChange) && !applyPosted_) {
        applyPosted_ = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                applyPosted_ = false;
                apply();
            },
            Qt::QueuedConnection);
    }
    return QObject::eventFilter(watched, event);
}

} // namespace cq::ui
