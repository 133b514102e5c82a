#pragma once
// The subject of the requested certificate: seven captioned edits (country to e-mail), each with
// its input rules and its help text, and the red marks of the required ones. The e-mail's mark
// is always shown; the others only for a GOST request.

#include "certs/InputRules.h"

#include <QWidget>

class QLabel;
class QLineEdit;

namespace cq::ui {

class SameWidthGroup;

class SubjectGrid : public QWidget {
    Q_OBJECT
public:
    /// `captions` keeps the captions as wide as those of the other areas.
    SubjectGrid(SameWidthGroup* captions, QWidget* parent);

    /// The seven edits as they stand (untrimmed).
    SubjectFields fields() const;
    /// Shows saved values in full, even where they break the fields' rules.
    void showValues(const SubjectFields& values);

    void setGostMarksVisible(bool visible);

    QLineEdit* firstEdit() const { return edits_.front(); }
    QLineEdit* emailEdit() const { return edits_.back(); }
    /// The caption of one of the edits, or nullptr.
    QLabel* captionOf(const QObject* edit) const;

    /// The edits in the order Tab visits them.
    QList<QWidget*> tabChain() const;

signals:
    void fieldChanged(QObject* edit);

private:
    std::vector<QLineEdit*> edits_;
    std::vector<QLabel*> captions_;
    QList<QLabel*> gostMarks_;
};

} // namespace cq::ui
