#pragma once
// The keyboard-layout indicator of the request tab: a small flag and the caption "EN", "RU" or
// "??" for the desktop's active layout. A click switches to the English (US) layout when the
// desktop has one. The indicator is refreshed only when the window asks: when the request tab is
// shown (showActiveLayout) and 100 milliseconds after a modifier key was released
// (startRefreshTimer from the window's key-up handling).
//
// The layouts are read from X11's keyboard extension when Qt runs on X11. On Wayland the desktop's
// input-source setting answers (read on a worker thread), else the input method's language where
// it reports one; when nothing answers (and offscreen) nothing is shown, and a click changes
// nothing.

#include <QWidget>

#include <functional>
#include <string>

class QLabel;
class QLocale;
class QTimer;
template <typename T> class QFutureWatcher;

namespace cq::ui {

/// Where the indicator learns the active layout. Each source answers a layout name ("us", "ru",
/// ...) or "" when it does not know; an empty function is a source that is not there.
struct KeyboardLayoutSources {
    /// The display's own keyboard (X11): asked on the interface thread; when there, the only one.
    std::function<std::string()> display;
    /// The desktop's input-source setting: may take a while, so it is asked on a worker thread.
    std::function<std::string()> desktopSetting;
    /// The input method's language: asked when the desktop's setting tells nothing.
    std::function<std::string()> inputMethod;

    /// The sources of the platform Qt runs on.
    static KeyboardLayoutSources ofPlatform();
};

/// The layout an input method's language stands for: English "us", Russian "ru", another
/// language its code (shown as unknown). Empty when the language tells nothing: the C locale, or
/// the system's own locale from an input method that never `reported` a change (Qt's plain input
/// contexts answer the system locale whatever the keyboard does).
std::string InputMethodLayout(const QLocale& locale, const QLocale& system, bool reported);

class KeyboardIndicator : public QWidget {
    Q_OBJECT
public:
    explicit KeyboardIndicator(QWidget* parent = nullptr);

    /// Replaces where the layout is read from (the platform's sources by default).
    void setLayoutSources(KeyboardLayoutSources sources);

    /// Reads the active layout and shows it; from the desktop's setting the answer comes later,
    /// when its read ends.
    void showActiveLayout();
    /// True from the start of a read of the desktop's setting until its answer is shown.
    bool reading() const;
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
    void startDesktopRead();
    void desktopReadDone();

    QLabel* englishFlag_;
    QLabel* russianFlag_;
    QLabel* captionLabel_;
    QTimer* refreshTimer_;
    KeyboardLayoutSources sources_;
    QFutureWatcher<std::string>* desktopRead_;
    bool reading_ = false; // from the start of a read until its answer is shown
    bool readAgain_ = false;
    bool answered_ = false;
};

} // namespace cq::ui
