#pragma once
// The keyboard-layout indicator of the request tab: a small flag and the caption "EN", "RU" or
// "??" for the desktop's active layout. A click switches to the English (US) layout when the
// desktop has one. The indicator is refreshed only when the window asks: when the request tab is
// shown (ShowKeyboardLayout) and 100 milliseconds after a modifier key was released
// (StartLangTimer from the window's key-up handling).
//
// The layouts are read from X11's keyboard extension when Qt runs on X11; elsewhere (Wayland,
// offscreen) the layout is unknown: "??", and a click changes nothing.

#include <QWidget>

#include <string>

class QLabel;
class QTimer;

namespace cq::ui {

class KeyboardIndicator : public QWidget {
    Q_OBJECT
public:
    explicit KeyboardIndicator(QWidget* parent = nullptr);

    /// Reads the active layout and shows it.
    void ShowKeyboardLayout();
    /// Shows the layout named `layout` ("us", "ru", anything else or empty: unknown).
    void ShowLayoutName(const std::string& layout);
    /// Restarts the one-shot timer that refreshes the indicator 100 ms later.
    void StartLangTimer();
    /// A click: unless English is shown, switches to the "us" layout. The indicator is not
    /// refreshed by it.
    void EnRuClick();

    /// "EN", "RU" or "??".
    QString caption() const;

    QLabel* imgEngl() const { return imgEngl_; }
    QLabel* imgRu() const { return imgRu_; }
    QLabel* lblEn() const { return lblEn_; }
    QTimer* LangTimer() const { return langTimer_; }

    /// True when the layouts can be read here (Qt runs on X11).
    static bool LayoutsAvailable();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QLabel* imgEngl_;
    QLabel* imgRu_;
    QLabel* lblEn_;
    QTimer* langTimer_;
};

} // namespace cq::ui
