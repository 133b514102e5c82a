#pragma once
// The keyboard-layout indicator of the request tab: a small flag and the caption "EN", "RU" or
// "??" for the desktop's active layout. A click switches to the English (US) layout when the
// desktop has one. The indicator is refreshed only when the window asks: when the request tab is
// shown (showActiveLayout) and 100 milliseconds after a modifier key was released
// (startRefreshTimer from the window's key-up handling).
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
    void showActiveLayout();
    /// Shows the layout named `layout` ("us", "ru", anything else: unknown); empty (no source
    /// knows the layout) shows nothing.
    void showLayout(const std::string& layout);
    /// Restarts the one-shot timer that refreshes the indicator 100 ms later.
    void startRefreshTimer();
    /// A click: unless English is shown, switches to the "us" layout. The indicator is not
    /// refreshed by it.
    void switchToEnglish();

    /// "EN", "RU", "??", or empty while nothing is shown.
    QString caption() const;

    QLabel* englishFlag() const { return englishFlag_; }
    QLabel* russianFlag() const { return russianFlag_; }
    QLabel* captionLabel() const { return captionLabel_; }
    QTimer* refreshTimer() const { return refreshTimer_; }

    /// True when the layouts can be read here (Qt runs on X11).
    static bool layoutsAvailable();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void showNothing();

    QLabel* englishFlag_;
    QLabel* russianFlag_;
    QLabel* captionLabel_;
    QTimer* refreshTimer_;
};

} // namespace cq::ui
