#pragma once
// The main window: it composes the proxy area on top, the request and reception tabs in the
// middle and the hint box with the save button at the bottom, and holds what spans them: the
// tab ring, the keys of the whole window (Up and Down, F1, Ctrl+I), the hint box following the
// focus and the mouse, saving, the start from the settings and the place on screen. The areas do
// their own work (ProxyArea, RequestTab, ReceptionTab).

#include "certs/ShellOpen.h"
#include "ui/BaseForm.h"

#include <functional>

class QLabel;
class QPushButton;
class QScrollArea;
class QTabWidget;

namespace cq::ui {

class ProxyArea;
class ReceptionTab;
class RequestTab;
class RichTextBox;
class SameWidthGroup;

class MainWindow : public BaseForm {
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    RichTextBox* hintBox() const { return hintBox_; }
    QTabWidget* tabs() const { return tabs_; }
    QLabel* requestInfoLink() const;
    QLabel* receptionInfoLink() const;

    /// The window opens on the reception tab with `email` chosen (the desktop notice's action
    /// starts it so), once the settings are read.
    void openOnAddress(const QString& email);

    /// True once the deferred initialisation (settings into the fields) has run.
    bool initialised() const { return initialised_; }

    /// How the folder and export links hand paths to the desktop; tests put a recorder here.
    static void setShellOpener(ShellOpener opener);
    /// The desktop beep of a refused keystroke (QApplication::beep); tests count the beeps here.
    static void setBeeper(std::function<void()> beeper);

signals:
    /// The deferred initialisation has run.
    void deferredInitDone();

protected:
    bool previewKeyPress(QKeyEvent* key) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private:
    QWidget* buildBottomStrip(QWidget* content);
    void layOutAreas();
    void setTabRing();

    void deferredInit();
    void showExpiryNoticeOnce();
    void centreInWorkArea();
    void fitToWorkArea();
    void keepInsideWorkArea();
    void onTabShown(int index);
    void onSaveClicked();
    void showInformationOfTab();
    void showHelpForFocus();
    void onControlEntered(QWidget* control);
    void onControlLeft();
    void showHintOf(QWidget* underMouse);

    SameWidthGroup* captionColumn_ = nullptr; ///< captions left of the fields, all tabs
    SameWidthGroup* buttonColumn_ = nullptr;  ///< the request and download buttons on the right
    QWidget* content_ = nullptr;              ///< every area; scrolls where the screen is small
    QScrollArea* scroller_ = nullptr;
    ProxyArea* proxyArea_ = nullptr;
    QTabWidget* tabs_ = nullptr;
    RequestTab* requestTab_ = nullptr;
    ReceptionTab* receptionTab_ = nullptr;
    RichTextBox* hintBox_ = nullptr;
    QPushButton* saveButton_ = nullptr;
    QList<QWidget*> tabRing_;
    QWidget* enteredControl_ = nullptr;
    QWidget* helpControl_ = nullptr;
    bool deferredInitPosted_ = false;
    bool initialised_ = false;
    QString startAddress_; ///< the address to open on, until the settings are read
    bool painted_ = false;
    bool expiryNoticeDone_ = false;
};

/// The main window, or nullptr before start-up has made it.
MainWindow* TheMainWindow();

} // namespace cq::ui
