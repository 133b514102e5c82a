#pragma once
// Widgets of one column that sit in different layouts (the labels of the subject fields and of
// the RSA and GOST panels, the buttons on the right) keep one width: that of the widest
// caption, and never less than the width they were designed with. The width is taken again
// when the font or the style changes, so the column grows with the captions instead of
// cutting them.

#include <QList>
#include <QObject>
#include <QPointer>
#include <QWidget>

namespace cq::ui {

class SameWidthGroup : public QObject {
    Q_OBJECT
public:
    SameWidthGroup(int designWidth, QObject* parent);

    void add(QWidget* widget);

    /// The width every widget of the group has at least: the widest natural width, at least the
    /// design width.
    int width() const;

    /// Gives every widget the group's width as its minimum width.
    void apply();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int designWidth_;
    QList<QPointer<QWidget>> widgets_;
    bool applyPosted_ = false;
};

} // namespace cq::ui
