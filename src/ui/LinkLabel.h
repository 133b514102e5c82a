#pragma once
// A label that reads and works like a link: navy, bold and underlined, with the hand cursor;
// blue without the underline while the mouse is over it. It is a stop of the tab order: a left
// click, Enter or Space runs it while it is enabled, and a focus frame shows where the keyboard
// is. A mnemonic in its caption ("&Папка") takes the focus to it.

#include <QLabel>

namespace cq::ui {

class LinkLabel : public QLabel {
    Q_OBJECT
public:
    LinkLabel(const QString& caption, const QString& hint, QWidget* parent);

    /// Runs the link, as a click does; nothing while it is disabled.
    void activate();

signals:
    void activated();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void showHover(bool hovered);

    bool hovered_ = false;
};

} // namespace cq::ui
