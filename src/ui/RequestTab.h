#pragma once
// The request tab: the keyboard layout indicator and the "Информация" link on top, the subject
// of the certificate, the choice of RSA or GOST, and below it the panel of the chosen kind. It
// decides when each request button may be pressed and runs the requests.

#include "certs/InputRules.h"
#include "settings/Settings.h"

#include <QWidget>

class QComboBox;
class QLabel;
class QLineEdit;
class QStackedWidget;

namespace cq::ui {

class GostPanel;
class KeyboardIndicator;
class LinkLabel;
class RsaPanel;
class SameWidthGroup;
class SubjectGrid;

class RequestTab : public QWidget {
    Q_OBJECT
public:
    RequestTab(SameWidthGroup* captions, SameWidthGroup* buttons, QWidget* parent);

    KeyboardIndicator* keyboardIndicator() const { return keyboardIndicator_; }
    LinkLabel* informationLink() const { return informationLink_; }
    /// The e-mail as typed, for the reception tab.
    QString typedEmail() const;
    bool gostChosen() const;

    /// Shows the saved subject; a saved GOST choice switches the panel without moving the focus.
    void showSaved(const SavedSubject& saved);
    /// What "Сохранить" keeps of this tab.
    SavedSubject toSave() const;

    /// Opens the procedure's text for the chosen kind of certificate in the information panel.
    void showInformation();

    /// The field the focus starts in (the country is preset).
    QWidget* startField() const;
    QList<QWidget*> tabChain() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* buildCertificateTypeRow(SameWidthGroup* captions);
    RequestFields requestFields() const;
    void onRequestFieldChanged(QObject* sender);
    void onCertificateTypeChanged();
    void onSendRsaRequestClicked();
    void onStartGostProcedureClicked();

    KeyboardIndicator* keyboardIndicator_ = nullptr;
    LinkLabel* informationLink_ = nullptr;
    SubjectGrid* subject_ = nullptr;
    QComboBox* certificateTypeList_ = nullptr;
    QStackedWidget* modePanels_ = nullptr;
    RsaPanel* rsaPanel_ = nullptr;
    GostPanel* gostPanel_ = nullptr;
};

} // namespace cq::ui
