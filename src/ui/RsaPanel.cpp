#include "ui/RsaPanel.h"

#include "ui/BaseForm.h"
#include "ui/FieldRule.h"
#include "ui/FormParts.h"
#include "ui/RuleLineEdit.h"
#include "ui/SameWidthGroup.h"
#include "ui/UiText.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QPushButton>

namespace cq::ui {
namespace {

constexpr int kPasswordHelp = 14;
constexpr int kOpenPasswordHelp = 15;

QLineEdit* MakePasswordEdit(QWidget* parent, const char* name, const QString& spoken) {
    auto* edit = Named(RuleLineEdit::makeKeyPassword(parent), name, spoken,
                       TrQ("Не больше 16 символов"), kPasswordHelp);
    SetDesignWidth(edit, design::kPasswordEditWidth);
    edit->setProperty(kHintTarget, true);
    BaseForm::suppressContextMenu(edit);
    return edit;
}

} // namespace

RsaPanel::RsaPanel(SameWidthGroup* captions, SameWidthGroup* buttons, QWidget* parent)
    : QWidget(parent) {
    setObjectName(QStringLiteral("pnlSendRSA"));
    passwordCaption_ = MakeRowLabel(TrQ("&Пароль : "), this);
    passwordEdit_ = MakePasswordEdit(this, "edPassword", TrQ("Пароль"));
    sendButton_ = WithDesignSize(Named(new QPushButton(TrQ("О&тправить запрос"), this),
                                       "butSendSert", TrQ("Отправить запрос"),
                                       TrQ("Посылает запрос на сертификат на сервер Кворикс")),
                                 design::kRightButtonWidth);
    confirmationCaption_ = MakeRowLabel(TrQ("Подт&верждение : "), this);
    confirmationEdit_ = MakePasswordEdit(this, "edPassword2", TrQ("Подтверждение"));
    openPasswordCheck_ =
        Named(new QCheckBox(TrQ("Откр&ытый пароль"), this), "chBoxPassw", TrQ("Открытый пароль"),
              TrQ("Отключает защиту пароля. Внимание! Пароль будет сохранен "
                  "в папку сертификата в открытом виде!"),
              kOpenPasswordHelp);

    // The fields on the left, the button at the top right.
    auto* fields = FieldGrid();
    fields->addWidget(passwordCaption_, 0, 0);
    fields->addWidget(passwordEdit_, 0, 1);
    fields->addWidget(MakeMark(this, "lblAstPass"), 0, 2);
    fields->addWidget(confirmationCaption_, 1, 0);
    fields->addWidget(confirmationEdit_, 1, 1);
    fields->addWidget(openPasswordCheck_, 2, 1, 1, 2);
    fields->setRowStretch(3, 1);
    auto* panel = new QHBoxLayout(this);
    panel->setContentsMargins(0, 0, 0, 0);
    panel->setSpacing(design::kColumnSpacing);
    panel->addLayout(fields);
    panel->addStretch(1);
    panel->addWidget(sendButton_, 0, Qt::AlignTop);
    captions->add(passwordCaption_);
    captions->add(confirmationCaption_);
    buttons->add(sendButton_);
    passwordCaption_->setBuddy(passwordEdit_);
    confirmationCaption_->setBuddy(confirmationEdit_);

    for (QLineEdit* edit : {passwordEdit_, confirmationEdit_})
        connect(edit, &QLineEdit::textChanged, this, [this, edit] { emit fieldChanged(edit); });
    sendButton_->setEnabled(false);
    sendButton_->setProperty(kHintTarget, true);
    openPasswordCheck_->setProperty(kHintTarget, true);
    connect(openPasswordCheck_, &QCheckBox::toggled, this,
            [this](bool checked) { onOpenPasswordToggled(checked); });
    connect(sendButton_, &QPushButton::clicked, this, &RsaPanel::sendClicked);
}

QString RsaPanel::password() const {
    return passwordEdit_->text();
}

QString RsaPanel::confirmation() const {
    return confirmationEdit_->text();
}

bool RsaPanel::openPassword() const {
    return openPasswordCheck_->isChecked();
}

void RsaPanel::showOpenPassword(const QString& password) {
    FieldRule::setProgramText(passwordEdit_, password);
    openPasswordCheck_->setChecked(true);
}

void RsaPanel::clearConfirmation() {
    confirmationEdit_->clear();
}

void RsaPanel::setSendEnabled(bool enabled) {
    sendButton_->setEnabled(enabled);
}

QWidget* RsaPanel::firstControl() const {
    return passwordEdit_;
}

QWidget* RsaPanel::afterSending() const {
    return openPasswordCheck_;
}

QLabel* RsaPanel::captionOf(const QObject* edit) const {
    if (edit == passwordEdit_)
        return passwordCaption_;
    return edit == confirmationEdit_ ? confirmationCaption_ : nullptr;
}

QList<QWidget*> RsaPanel::tabChain() const {
    return {passwordEdit_, sendButton_, confirmationEdit_, openPasswordCheck_};
}

// Ticked, the password is shown in clear (still a secret: it is never copied) and needs no
// confirmation.
void RsaPanel::onOpenPasswordToggled(bool checked) {
    passwordEdit_->setEchoMode(checked ? QLineEdit::Normal : QLineEdit::Password);
    confirmationEdit_->setEnabled(!checked);
    emit fieldChanged(openPasswordCheck_);
}

} // namespace cq::ui
