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
class TRichBox;

class TMainSertForm : public TBaseForm {
    Q_OBJECT
public:
    explicit TMainSertForm(QWidget* parent = nullptr);
    ~TMainSertForm() override;

    TRichBox* rich() const { return rich_; }
    QTabWidget* PControl() const { return pControl_; }
    QLabel* lblSertInfo() const { return lblSertInfo_; }
    QLabel* lblSertGetInfo() const { return lblSertGetInfo_; }

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
    bool FormKeyPress(QKeyEvent* key) override;
    bool actListExecute(QAction* action) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private:
    void buildProxyArea();
    QWidget* buildInquiryTab();
    QGridLayout* buildSubjectGrid(QWidget* page);
    QWidget* buildModePanels(QWidget* page);
    QWidget* buildRsaPanel();
    QWidget* buildGostPanel();
    QWidget* buildReceptionTab();
    void buildBottomStrip();
    void setTabOrderChain();
    void layOutAreas();

    void WMDeferredInit();
    void centreInWorkArea();
    void chBoxProxyUseClick(bool checked);
    void CommonChange(QObject* sender);
    void chBoxPasswClick(bool checked);
    void cBoxRsaGostChange();
    void butSendSertClick();
    void butStartGostClick();
    void FillProviderList();
    void cbProvNameChange();
    void tSheetReceptionShow();
    void comBoxMailChange();
    void applyReceptionState();
    void butSertificatGetClick();
    void butSertificatTestClick();
    void lblInstallClick();
    void tellWhereTheFileIs(const std::string& written, const std::string& password,
                            const ShellOpener& opener);
    void lblGoToClick();
    void butSaveClick();
    void SertInfoClick();
    void lblSertGetInfoClick();
    void WMHelp();
    void ControlEnter(QWidget* control);
    void ControlExit();
    void AppHintToBox(QWidget* underMouse);
    void labelHover(QLabel* label, bool entering);
    bool typingFilter(QKeyEvent* key);
    void pasteThroughFilter(QLineEdit& edit, const QString& text);
    bool otherPasteFilter(QLineEdit& edit, QEvent* event);

    RequestFields requestFields() const;
    std::string mailAddress() const;
    void setLinkEnabled(QLabel* link, bool enabled);

    QTabWidget* pControl_ = nullptr;
    QLabel* lblSertInfo_ = nullptr;
    QLabel* lblSertGetInfo_ = nullptr;
    TRichBox* rich_ = nullptr;
    QPushButton* butSave_ = nullptr;

    QWidget* pnlUseProxy_ = nullptr;
    QWidget* pnlProxy_ = nullptr;
    QWidget* bottom_ = nullptr;
    QCheckBox* chBoxProxyUse_ = nullptr;
    QLabel* lblProxiInfo_ = nullptr;
    QLineEdit* edProxyServer_ = nullptr;
    QLineEdit* edProxyPort_ = nullptr;
    QLineEdit* edProxyLogin_ = nullptr;
    QLineEdit* edProxyPassword_ = nullptr;

    QLineEdit* edCountry_ = nullptr;
    QLineEdit* edState_ = nullptr;
    QLineEdit* edLocality_ = nullptr;
    QLineEdit* edOrganization_ = nullptr;
    QLineEdit* edOrganizUnit_ = nullptr;
    QLineEdit* edCommonName_ = nullptr;
    QLineEdit* edEmail_ = nullptr;
    QLineEdit* edPassword_ = nullptr;
    QLineEdit* edPassword2_ = nullptr;
    QCheckBox* chBoxPassw_ = nullptr;
    QPushButton* butSendSert_ = nullptr;
    QComboBox* cBoxRsaGost_ = nullptr;
    QStackedWidget* modePanels_ = nullptr;
    QWidget* pnlSendRSA_ = nullptr;
    QWidget* pnlSendGost_ = nullptr;
    QComboBox* cbProvName_ = nullptr;
    QLineEdit* cbCont_ = nullptr;
    QPushButton* butStartGost_ = nullptr;
    QList<QLabel*> gostMarks_;
    std::vector<TProvInfo> provInfos_; ///< one per entry of cbProvName
    KeyboardIndicator* indicator_ = nullptr;

    QComboBox* comBoxMail_ = nullptr;
    QPushButton* butSertificatGet_ = nullptr;
    QLabel* lblSertificatGet_ = nullptr;
    QLineEdit* edCheckPassword_ = nullptr;
    QPushButton* butSertificatTest_ = nullptr;
    QLabel* lblGoTo_ = nullptr;
    QLabel* lblInstall_ = nullptr;
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
TMainSertForm* MainSertForm();

} // namespace cq::ui
