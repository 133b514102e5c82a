#pragma once
// A read-only rich-text box for help texts: no frame, the colour of the window behind it, the
// text kept a few pixels away from the edges, and links that report a press of the left mouse
// button.

#include <QTextEdit>

namespace cq::ui {

class RichTextBox : public QTextEdit {
    Q_OBJECT
public:
    explicit RichTextBox(QWidget* parent = nullptr);

    /// Keeps the text `horizontal` pixels from the left and right edges and `vertical` pixels
    /// from the top and bottom.
    void setFormattingInset(int horizontal, int vertical);

    /// Whether web addresses in the text become links when the text is set.
    void setAutoUrlDetect(bool on) { autoUrlDetect_ = on; }
    bool autoUrlDetect() const { return autoUrlDetect_; }

    /// Applies the inset and, when switched on, marks web addresses; call after every change of
    /// the document.
    void finishText();

    /// Selects the whole link at `position` (a document position); false when there is none.
    bool selectLinkAt(int position);

signals:
    /// The left mouse button went down on a link; the link's text is selected.
    void linkPressed();

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    int horizontalInset_ = 0;
    int verticalInset_ = 0;
    bool autoUrlDetect_ = false;
};

} // namespace cq::ui
