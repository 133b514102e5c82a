#pragma once
// A line edit as wide as a sample of the text it will hold (a line edit's usual width is that of
// 17 average letters).

#include <QLineEdit>

namespace cq::ui {

class TextSampleEdit : public QLineEdit {
public:
    TextSampleEdit(QString sample, QWidget* parent);
    QSize sizeHint() const override;

private:
    QString sample_;
};

} // namespace cq::ui
