#include "ui/TextSampleEdit.h"

namespace cq::ui {

TextSampleEdit::TextSampleEdit(QString sample, QWidget* parent)
    : QLineEdit(parent), sample_(std::move(sample)) {}

QSize TextSampleEdit::sizeHint() const {
    QSize hint = QLineEdit::sizeHint();
    const int usual = 17 * fontMetrics().horizontalAdvance(QLatin1Char('x'));
    const int needed = fontMetrics().horizontalAdvance(sample_) - usual;
    hint.rwidth() += std::max(0, needed);
    return hint;
}

} // namespace cq::ui
