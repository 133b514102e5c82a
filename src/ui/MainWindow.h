#pragma once
// The main window: the proxy area on top, the request tab (subject fields, RSA or GOST panel)
// and the reception tab (download, check, export, folder) in the middle, the hint box and the
// save button at the bottom. The handlers call the core's operations; the window itself only
// moves values between the controls and those operations.

#include "certs/Download.h"
#include "certs/GostRequest.h"
#include "certs/InputRules.h"
#include "certs/ShellOpen.h"
#include "ui/BaseForm.h"

#include <QHash>
#include <set>
#include <string>

class QCheckBox;
class QComboBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;
class QTabWidget;

namespace cq::ui {

class KeyboardIndicator;
class SameWidthGroup;
class RichTextBox;

class MainWindow : public BaseForm {
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    RichTextBox* hintBox() const { return hintBox_; }
    QTabWidget* tabs() const { return tabs_; }
    QLabel* requestInfoLink() const { return requestInfoLink_; }
    QLabel* receptionInfoLink() const { return receptionInfoLink_; }

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
    bool runEditAction(QAction* action) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private:
    void buildProxyArea();
    QWidget* buildRequestTab();
    QGridLayout* buildSubjectGrid(QWidget* page);
    QWidget* buildModePanels(QWidget* page);
    QWidget* buildRsaPanel();
    QWidget* buildGostPanel();
    QWidget* buildReceptionTab();
    void buildBottomStrip();
    void setTabOrderChain();
    void layOutAreas();

    void deferredInit();
    void centreInWorkArea();
    void onUseProxyToggled(bool checked);
    void onRequestFieldChanged(QObject* sender);
    void onOpenPasswordToggled(bool checked);
    void onCertificateTypeChanged();
    void onSendRsaRequestClicked();
    void onStartGostProcedureClicked();
    void fillProviderList();
    /// Tells once per session of each PKCS#11 module left out for a fault, naming it.
    void tellFaultyModules();
    void onProviderChanged();
    void onReceptionTabShown();
    void onReceptionAddressChanged();
    void applyReceptionState();
    void onDownloadClicked();
    void onCheckClicked();
    void onExportLinkClicked();
    void tellWhereTheFileIs(const std::string& written, const std::string& password,
                            const ShellOpener& opener);
    void onFolderLinkClicked();
    void onSaveClicked();
    void onRequestInfoLinkClicked();
    void onReceptionInfoLinkClicked();
    void showHelpForFocus();
    void onControlEntered(QWidget* control);
    void onControlLeft();
    void showHintOf(QWidget* underMouse);
    void labelHover(QLabel* label, bool entering);
    bool typingFilter(QKeyEvent* key);
    void pasteThroughFilter(QLineEdit& edit, const QString& text);
    bool otherPasteFilter(QLineEdit& edit, QEvent* event);

    /// The seven subject edits as they stand (untrimmed).
    SubjectFields subjectEdits() const;
    RequestFields requestFields() const;
    std::string mailAddress() const;
    void setLinkEnabled(QLabel* link, bool enabled);

    QTabWidget* tabs_ = nullptr;
    QLabel* requestInfoLink_ = nullptr;
    QLabel* receptionInfoLink_ = nullptr;
    RichTextBox* hintBox_ = nullptr;
    QPushButton* saveButton_ = nullptr;

    QWidget* useProxyArea_ = nullptr;
    QWidget* proxyArea_ = nullptr;
    QWidget* bottomStrip_ = nullptr;
    QCheckBox* useProxyCheck_ = nullptr;
    QLabel* proxySourceLabel_ = nullptr;
    QLineEdit* proxyServerEdit_ = nullptr;
    QLineEdit* proxyPortEdit_ = nullptr;
    QLineEdit* proxyLoginEdit_ = nullptr;
    QLineEdit* proxyPasswordEdit_ = nullptr;

    QLineEdit* countryEdit_ = nullptr;
    QLineEdit* stateEdit_ = nullptr;
    QLineEdit* localityEdit_ = nullptr;
    QLineEdit* organizationEdit_ = nullptr;
    QLineEdit* organizationalUnitEdit_ = nullptr;
    QLineEdit* commonNameEdit_ = nullptr;
    QLineEdit* emailEdit_ = nullptr;
    QLineEdit* passwordEdit_ = nullptr;
    QLineEdit* passwordConfirmEdit_ = nullptr;
    QCheckBox* openPasswordCheck_ = nullptr;
    QPushButton* sendRsaRequestButton_ = nullptr;
    QComboBox* certificateTypeList_ = nullptr;
    QStackedWidget* modePanels_ = nullptr;
    QWidget* rsaPanel_ = nullptr;
    QWidget* gostPanel_ = nullptr;
    QComboBox* providerList_ = nullptr;
    QLineEdit* containerNameEdit_ = nullptr;
    QPushButton* startGostButton_ = nullptr;
    QList<QLabel*> gostMarks_;
    std::vector<TProvInfo> providerInfos_; ///< one per entry of the provider list
    std::set<std::string> toldModuleProblems_;
    KeyboardIndicator* keyboardIndicator_ = nullptr;

    QComboBox* receptionAddressList_ = nullptr;
    QPushButton* downloadButton_ = nullptr;
    QLabel* receptionStateLabel_ = nullptr;
    QLineEdit* checkPasswordEdit_ = nullptr;
    QPushButton* checkButton_ = nullptr;
    QLabel* folderLink_ = nullptr;
    QLabel* exportLink_ = nullptr;
    QHash<QLabel*, QPair<QLabel*, QLabel*>> linkImages_;

    QHash<QLineEdit*, QLabel*> editLabels_;
    SameWidthGroup* labelColumn_ = nullptr;  ///< captions left of the fields, all tabs
    SameWidthGroup* buttonColumn_ = nullptr; ///< the request and download buttons on the right
    QHash<QLabel*, QColor> hoverColours_;
    QWidget* enteredControl_ = nullptr;
    QWidget* helpControl_ = nullptr;
    ReceptionState reception_;
    bool deferredInitPosted_ = false;
    bool initialised_ = false;
};

/// The main window, or nullptr before start-up has made it.
MainWindow* TheMainWindow();

} // namespace cq::ui
