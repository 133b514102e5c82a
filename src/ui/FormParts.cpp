#include "ui/FormParts.h"
#include "ui/UiText.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace cq::ui {

namespace {
constexpr int kPageTopMargin = 6;
constexpr int kPageRightMargin = 5;
constexpr int kMarkPointSize = 14;
} // namespace

void Name(QWidget* widget, const char* name, const QString& accessibleName, const QString& hint,
          int helpContext) {
    widget->setObjectName(QLatin1String(name));
    widget->setAccessibleName(accessibleName);
    widget->setAccessibleDescription(QLatin1String(name));
    if (!hint.isEmpty())
        widget->setToolTip(hint);
    widget->setProperty(kHelpContext, helpContext);
}

QFont Emphasis(bool bold, bool underline, int pointSize) {
    QFont font;
    font.setBold(bold);
    font.setUnderline(underline);
    if (pointSize > 0)
        font.setPointSize(pointSize);
    return font;
}

QLabel* MakeLabel(const QString& caption, QWidget* parent, bool bold) {
    auto* label = new QLabel(caption, parent);
    if (bold)
        label->setFont(Emphasis(true));
    return label;
}

QLabel* MakeRowLabel(const QString& caption, QWidget* parent) {
    auto* label = MakeLabel(caption, parent);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}

void SetDesignWidth(QWidget* field, int width) {
    field->setMinimumWidth(width);
    QSizePolicy policy = field->sizePolicy();
    policy.setHorizontalPolicy(QSizePolicy::Fixed);
    field->setSizePolicy(policy);
    if (auto* list = qobject_cast<QComboBox*>(field))
        list->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
}

QPushButton* WithDesignSize(QPushButton* button, int width) {
    button->setMinimumSize(width, design::kButtonHeight);
    return button;
}

QLabel* MakeMark(QWidget* parent, const char* name) {
    auto* mark = Named(new QLabel(QStringLiteral("*"), parent), name, TrQ("Обязательное поле"),
                       TrQ("Обязательное поле"));
    mark->setFont(Emphasis(true, false, kMarkPointSize));
    QPalette palette = mark->palette();
    palette.setColor(QPalette::WindowText, Qt::red);
    mark->setPalette(palette);
    mark->setMinimumWidth(design::kMarkWidth);
    QSizePolicy policy(QSizePolicy::Fixed, QSizePolicy::Ignored);
    policy.setRetainSizeWhenHidden(true);
    mark->setSizePolicy(policy);
    return mark;
}

QGridLayout* FieldGrid(QWidget* parent) {
    auto* grid = new QGridLayout(parent);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(design::kColumnSpacing);
    grid->setVerticalSpacing(design::kRowSpacing);
    return grid;
}

QVBoxLayout* PageColumn(QWidget* page) {
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(design::kMargin, kPageTopMargin, kPageRightMargin, 0);
    column->setSpacing(0);
    return column;
}

QHBoxLayout* InformationRow(QWidget* left, QLabel* picture, QLabel* link) {
    auto* row = new QHBoxLayout;
    row->setSpacing(design::kColumnSpacing);
    if (left)
        row->addWidget(left, 0, Qt::AlignVCenter);
    row->addStretch(1);
    row->addWidget(picture, 0, Qt::AlignVCenter);
    row->addWidget(link, 0, Qt::AlignVCenter);
    return row;
}

void ChainTabOrder(const QList<QWidget*>& chain) {
    for (qsizetype i = 1; i < chain.size(); ++i)
        QWidget::setTabOrder(chain[i - 1], chain[i]);
}

} // namespace cq::ui
