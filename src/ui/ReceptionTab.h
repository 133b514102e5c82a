#pragma once
// The reception tab: the address whose certificate is wanted, the download, the check of the
// downloaded certificate against its key, the certificate's end with its renewal, and the two
// links: the certificate folder and the export into the certificate store (Certificate.p12).

#include "certs/Download.h"
#include "certs/ShellOpen.h"

#include <QHash>
#include <QWidget>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace cq::ui {

class LinkLabel;
class SameWidthGroup;

class ReceptionTab : public QWidget {
    Q_OBJECT
public:
    ReceptionTab(SameWidthGroup* buttons, QWidget* parent);

    LinkLabel* informationLink() const { return informationLink_; }

    /// The tab is shown: the address list is read again, and the address typed on the request
    /// tab is chosen (or typed in when it is not in the list).
    void refresh(const QString& typedAddress);

    /// Opens the text on the certificate's files in the information panel.
    void showInformation();

    QList<QWidget*> tabChain() const;

    /// How the folder and export links hand paths to the desktop; tests put a recorder here.
    static void setShellOpener(ShellOpener opener);

private:
    void buildControls();
    void buildRenewalControls();
    void layOut();
    std::string mailAddress() const;
    void setLinkEnabled(LinkLabel* link, bool enabled);
    void onAddressChanged();
    void applyState();
    void onDownloadClicked();
    void onCheckClicked();
    void onExportLinkClicked();
    void tellWhereTheFileIs(const std::string& written, const std::string& password,
                            const ShellOpener& opener);
    void onFolderLinkClicked();
    void showRenewal();
    void onRenewClicked();
    void onCancelRenewalClicked();

    LinkLabel* informationLink_ = nullptr;
    QLabel* informationPicture_ = nullptr;
    QLabel* addressCaption_ = nullptr;
    QComboBox* addressList_ = nullptr;
    QPushButton* downloadButton_ = nullptr;
    QLabel* stateLabel_ = nullptr;
    QLabel* checkPasswordCaption_ = nullptr;
    QLineEdit* checkPasswordEdit_ = nullptr;
    QPushButton* checkButton_ = nullptr;
    QLabel* expiryLabel_ = nullptr;
    QLabel* renewalLabel_ = nullptr;
    QPushButton* renewButton_ = nullptr;
    QPushButton* cancelRenewalButton_ = nullptr;
    LinkLabel* folderLink_ = nullptr;
    LinkLabel* exportLink_ = nullptr;
    QHash<LinkLabel*, QPair<QLabel*, QLabel*>> linkPictures_; ///< in colour, grey
    ReceptionState state_;
};

} // namespace cq::ui
