#include "ui/ReceptionTab.h"

#include "app/ErrorReport.h"
#include "base/Dialogs.h"
#include "base/Errors.h"
#include "base/FileUtil.h"
#include "base/ShellOpenCodes.h"
#include "certs/AddressOverview.h"
#include "certs/CertificateCheck.h"
#include "certs/GostRequest.h"
#include "certs/InputRules.h"
#include "certs/NssImport.h"
#include "certs/Pkcs12Export.h"
#include "certs/Renewal.h"
#include "platform/Process.h"
#include "settings/CertFolders.h"
#include "settings/EmailList.h"
#include "settings/Settings.h"
#include "settings/SettingsValues.h"
#include "ui/BaseForm.h"
#include "ui/BusyTask.h"
#include "ui/CertificateInfoPanel.h"
#include "ui/DesktopTask.h"
#include "ui/FormParts.h"
#include "ui/HandlerGuard.h"
#include "ui/HelpText.h"
#include "ui/KeyPasswordDialog.h"
#include "ui/LinkLabel.h"
#include "ui/Pictures.h"
#include "ui/RenewalView.h"
#include "ui/RuleLineEdit.h"
#include "ui/SameWidthGroup.h"
#include "ui/UiText.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <chrono>
#include <optional>

namespace cq::ui {
namespace {

ShellOpener& LinkOpener() {
    static ShellOpener opener;
    return opener;
}

ShellOpener CurrentOpener() {
    return LinkOpener() ? LinkOpener() : ShellOpener(DesktopOpen);
}

// Opens the certificate folder; a failure names the folder, so the user can go there anyway.
void OpenFolderNamingIt(const std::string& address, const ShellOpener& opener) {
    try {
        OpenCertificateFolder(address, opener);
    } catch (const std::exception& error) {
        if (AddressRefusal(address))
            throw;
        throw Exception(TrFormat(
            "Папка сертификата %1 не открыта: %2",
            {ExcludeTrailingPathDelimiter(CertificateFolder(address)), DescribeError(error)}));
    }
}

// Opens a folder and waits for the desktop without freezing the window; a failure names the
// folder.
void OpenFolderAndWait(const std::string& folder, const ShellOpener& opener) {
    const int code = RunBusy([&] { return opener(folder); });
    try {
        CheckShellExecute(code);
    } catch (const std::exception& error) {
        ShowErrorBox(TrFormat("Папка %1 не открыта: %2", {folder, DescribeError(error)}));
    }
}

std::string RenewalCaption() {
    return Tr("Продление сертификата");
}

// The RSA renewal: the new key's password is asked as the request tab's RSA panel asks it; key
// generation and the exchange run off the interface thread.
void RenewRsa(const std::string& address, const WorkingRequest& working) {
    const std::optional<std::string> password = AskNewKeyPassword(address);
    if (!password)
        return;
    if (const std::optional<std::string> refusal = PasswordRefusal(*password)) {
        ShowErrorBox(*refusal, RenewalCaption());
        return;
    }
    SubjectData subject;
    static_cast<SubjectFields&>(subject) = working.Subject;
    subject.Password = *password;
    RunBusy([&subject] { return RenewRsaCertificate(subject); });
}

// The GOST renewal: a new container of the provider that keeps the working key, its password
// asked the provider's way.
void RenewGost(const WorkingRequest& working) {
    std::optional<ProviderEntry> provider;
    {
        WaitCursor wait;
        for (const ProviderEntry& entry : QualifyingProviders())
            if (entry.Name == working.ProvName)
                provider = entry;
    }
    if (!provider) {
        ShowErrorBox(TrFormat("Крипто провайдер \"%1\", которым сделан рабочий ключ, не найден. "
                              "Продление невозможно.",
                              {working.ProvName}),
                     RenewalCaption());
        return;
    }
    GostRequestForm form;
    static_cast<SubjectFields&>(form) = working.Subject;
    form.ProvName = provider->Name;
    form.Info = provider->Info;
    form.Container = GostContainerName(std::chrono::system_clock::now());
    // A cancelled password dialog ends the renewal without a word; errors reach the handler.
    RunBusy([&form] { return RenewGostCertificate(form); });
}

} // namespace

ReceptionTab::ReceptionTab(SameWidthGroup* buttons, QWidget* parent) : QWidget(parent) {
    buildControls();
    buttons->add(downloadButton_);
    buttons->add(renewButton_);
    buttons->add(cancelRenewalButton_);
    layOut();
    setLinkEnabled(folderLink_, false);
    setLinkEnabled(exportLink_, false);

    connect(addressList_, &QComboBox::editTextChanged, this,
            [this] { Guarded([this] { onAddressChanged(); }); });
    connect(downloadButton_, &QPushButton::clicked, this,
            [this] { Guarded([this] { onDownloadClicked(); }); });
    connect(checkButton_, &QPushButton::clicked, this,
            [this] { Guarded([this] { onCheckClicked(); }); });
    connect(renewButton_, &QPushButton::clicked, this,
            [this] { Guarded([this] { onRenewClicked(); }); });
    connect(cancelRenewalButton_, &QPushButton::clicked, this,
            [this] { Guarded([this] { onCancelRenewalClicked(); }); });
    connect(informationLink_, &LinkLabel::activated, this, [this] { showInformation(); });
    connect(folderLink_, &LinkLabel::activated, this,
            [this] { Guarded([this] { onFolderLinkClicked(); }); });
    connect(exportLink_, &LinkLabel::activated, this,
            [this] { Guarded([this] { onExportLinkClicked(); }); });
}

void ReceptionTab::setShellOpener(ShellOpener opener) {
    LinkOpener() = std::move(opener);
}

void ReceptionTab::buildControls() {
    informationLink_ =
        Named(new LinkLabel(TrQ("Информация"),
                            TrQ("Информация по файлам сертификатов. Быстрый вызов (Ctrl+I)"), this),
              "lblSertGetInfo", TrQ("Информация"));
    informationLink_->setFocusPolicy(Qt::NoFocus); // Ctrl+I reaches it from every field
    informationPicture_ = MakePicture(this, Picture::Information, true);
    informationPicture_->setToolTip(informationLink_->toolTip());
    addressCaption_ =
        Named(MakeLabel(TrQ("Выберите/введите &email для которого нужно получить сертификат"), this,
                        true),
              "Label1", TrQ("Выберите/введите email для которого нужно получить сертификат"));
    addressList_ = WithDesignWidth(
        Named(new QComboBox(this), "comBoxMail", TrQ("Email для получения сертификата"),
              TrQ("Список emails для которых запрашивался сертификат. При "
                  "отсутствии введите его, лишние удалите из файла настроек.")),
        design::kSubjectEditWidth);
    addressList_->setEditable(true);
    addressList_->setInsertPolicy(QComboBox::NoInsert);
    addressList_->setProperty(kHintTarget, true);
    BaseForm::suppressContextMenu(addressList_->lineEdit());
    addressCaption_->setBuddy(addressList_);
    downloadButton_ =
        WithDesignSize(Named(new QPushButton(TrQ("Ска&чать"), this), "butSertificatGet",
                             TrQ("Скачать"), TrQ("Пытается скачать сертификат с сервера Кворикс")),
                       design::kRightButtonWidth);
    downloadButton_->setProperty(kHintTarget, true);
    stateLabel_ = Named(MakeLabel(TrQ("Уже получен! Повтор заменит файл."), this, true),
                        "lblSertificatGet", TrQ("Состояние"));
    QSizePolicy keepsRoom = stateLabel_->sizePolicy();
    keepsRoom.setRetainSizeWhenHidden(true); // the controls below stay where they are
    stateLabel_->setSizePolicy(keepsRoom);
    stateLabel_->hide();

    checkPasswordCaption_ = MakeLabel(TrQ("&Пароль"), this);
    checkPasswordEdit_ =
        WithDesignWidth(Named(RuleLineEdit::makeKeyPassword(this), "edCheckPassword", TrQ("Пароль"),
                              TrQ("Пароль для проверки RSA сертификата.")),
                        design::kPasswordEditWidth);
    checkPasswordEdit_->setProperty(kHintTarget, true);
    BaseForm::suppressContextMenu(checkPasswordEdit_);
    checkPasswordCaption_->setBuddy(checkPasswordEdit_);
    checkButton_ =
        WithDesignSize(Named(new QPushButton(TrQ("Про&верить"), this), "butSertificatTest",
                             TrQ("Проверить"), TrQ("Выполняет проверку текущего сертификата")),
                       design::kTestButtonWidth);
    checkButton_->setProperty(kHintTarget, true);

    buildRenewalControls();

    folderLink_ = Named(new LinkLabel(TrQ("Папка с&ертификата"),
                                      TrQ("Открывает папку выбранного сертификата."), this),
                        "lblGoTo", TrQ("Папка сертификата"));
    exportLink_ = Named(new LinkLabel(TrQ("В хра&нилище (p12)"),
                                      TrQ("При использовании из системного хранилища windows (по "
                                          "желанию/требованию сторонних программ). Конвертирует "
                                          "сертификат в p12, и открывает его для импорта."),
                                      this),
                        "lblInstall", TrQ("В хранилище (p12)"));
}

// The certificate's end, the renewal's state and the one renewal button that fits it; each
// keeps its room while hidden, so the controls below stay where they are.
void ReceptionTab::buildRenewalControls() {
    expiryLabel_ = Named(MakeLabel(TrQ("Срок действия"), this), "lblExpiry", TrQ("Срок действия"));
    renewalLabel_ = Named(MakeLabel(TrQ("Продление"), this), "lblRenewal", TrQ("Продление"));
    renewButton_ =
        WithDesignSize(Named(new QPushButton(TrQ("Про&длить"), this), "btnRenew", TrQ("Продлить"),
                             TrQ("Посылает на сервер Кворикс запрос нового сертификата с данными "
                                 "текущего; текущий работает до получения нового.")),
                       design::kRightButtonWidth);
    cancelRenewalButton_ =
        WithDesignSize(Named(new QPushButton(TrQ("От&менить продление"), this), "btnCancelRenewal",
                             TrQ("Отменить продление"),
                             TrQ("Удаляет ключ и запрос продления. Текущий сертификат остается "
                                 "как есть.")),
                       design::kRightButtonWidth);
    for (QWidget* control : QList<QWidget*>{expiryLabel_, renewalLabel_, renewButton_}) {
        QSizePolicy keepsRoom = control->sizePolicy();
        keepsRoom.setRetainSizeWhenHidden(true);
        control->setSizePolicy(keepsRoom);
        control->hide();
    }
    cancelRenewalButton_->hide();
    renewButton_->setProperty(kHintTarget, true);
    cancelRenewalButton_->setProperty(kHintTarget, true);
}

void ReceptionTab::layOut() {
    auto* column = PageColumn(this);
    column->addLayout(InformationRow(nullptr, informationPicture_, informationLink_));
    column->addSpacing(8);
    column->addWidget(addressCaption_);
    column->addSpacing(7);
    auto* download = new QHBoxLayout;
    download->addWidget(addressList_, 0, Qt::AlignVCenter);
    download->addStretch(1);
    download->addWidget(downloadButton_);
    column->addLayout(download);
    column->addSpacing(3);
    column->addWidget(stateLabel_);
    column->addSpacing(6);
    // The two renewal buttons share one place: only one of them is ever offered.
    auto* renewal = FieldGrid();
    renewal->setVerticalSpacing(3);
    renewal->addWidget(expiryLabel_, 0, 0, Qt::AlignVCenter);
    renewal->addWidget(renewButton_, 0, 1);
    renewal->addWidget(cancelRenewalButton_, 0, 1);
    renewal->addWidget(renewalLabel_, 1, 0, 1, 2);
    renewal->setColumnStretch(0, 1);
    column->addLayout(renewal);
    column->addSpacing(10);
    column->addWidget(checkPasswordCaption_);
    column->addSpacing(3);
    auto* check = new QHBoxLayout;
    check->setSpacing(12);
    check->addWidget(checkPasswordEdit_, 0, Qt::AlignVCenter);
    check->addWidget(checkButton_);
    check->addStretch(1);
    column->addLayout(check);
    column->addSpacing(27);
    // Each link with two pictures in one place: in colour while it works, grey while it is off.
    auto* links = FieldGrid();
    links->setHorizontalSpacing(6);
    links->setVerticalSpacing(10);
    int row = 0;
    for (auto [link, picture] :
         {std::pair{folderLink_, Picture::Folder}, std::pair{exportLink_, Picture::Certificate}}) {
        QLabel* enabled = MakePicture(this, picture, true);
        QLabel* disabled = MakePicture(this, picture, false);
        links->addWidget(enabled, row, 0);
        links->addWidget(disabled, row, 0);
        links->addWidget(link, row, 1);
        linkPictures_.insert(link, {enabled, disabled});
        ++row;
    }
    links->setColumnStretch(2, 1);
    column->addLayout(links);
    column->addStretch(1);
}

QList<QWidget*> ReceptionTab::tabChain() const {
    return {addressList_,       downloadButton_, renewButton_, cancelRenewalButton_,
            checkPasswordEdit_, checkButton_,    folderLink_,  exportLink_};
}

void ReceptionTab::showInformation() {
    ShowHelpInfo(kHelpCertificateFiles, nullptr);
}

std::string ReceptionTab::mailAddress() const {
    return Trimmed(addressList_->currentText());
}

void ReceptionTab::setLinkEnabled(LinkLabel* link, bool enabled) {
    link->setEnabled(enabled);
    const auto pictures = linkPictures_.value(link);
    if (pictures.first)
        pictures.first->setVisible(enabled);
    if (pictures.second)
        pictures.second->setVisible(!enabled);
}

void ReceptionTab::refresh(const QString& typedAddress) {
    {
        const QSignalBlocker quiet(addressList_);
        addressList_->clear();
        for (const std::string& address : EmailListAddresses(ReadEmailList()))
            addressList_->addItem(Q(address));
        const QString typed = typedAddress.trimmed();
        const int index = addressList_->findText(typed, Qt::MatchFixedString);
        if (index >= 0)
            addressList_->setCurrentIndex(index);
        else
            addressList_->setEditText(typed);
    }
    onAddressChanged();
}

void ReceptionTab::onAddressChanged() {
    state_ = EvaluateReceptionState(S(addressList_->currentText()));
    applyState();
}

void ReceptionTab::applyState() {
    setLinkEnabled(exportLink_, state_.InstallEnabled);
    setLinkEnabled(folderLink_, state_.FolderLinkEnabled);
    downloadButton_->setEnabled(state_.DownloadEnabled);
    stateLabel_->setText(TrQ(state_.StateLabel.c_str()));
    stateLabel_->setVisible(state_.StateLabelVisible);
    checkButton_->setEnabled(state_.CheckEnabled);
    showRenewal();
}

void ReceptionTab::showRenewal() {
    const RenewalView view = ViewOfRenewal(OverviewOfAddress(mailAddress()), Settings().WarnDays);
    // A hidden label keeps its last words, so the room it keeps is as high as when shown.
    if (!view.Expiry.empty())
        expiryLabel_->setText(Q(view.Expiry));
    expiryLabel_->setVisible(!view.Expiry.empty());
    if (!view.Renewal.empty())
        renewalLabel_->setText(Q(view.Renewal));
    renewalLabel_->setVisible(!view.Renewal.empty());
    renewButton_->setVisible(view.OfferRenew);
    cancelRenewalButton_->setVisible(view.OfferCancel);
}

void ReceptionTab::onDownloadClicked() {
    ReceptionState state = state_;
    const std::string typed = S(addressList_->currentText());
    RunBusy([&] { ReceiveCertificate(typed, state); });
    state_ = state;
    applyState();
}

// The new key and request repeat the subject of the working request; the working pair stays.
void ReceptionTab::onRenewClicked() {
    const std::string address = mailAddress();
    const WorkingRequest working = ReadWorkingRequest(address);
    if (working.Gost)
        RenewGost(working);
    else
        RenewRsa(address, working);
    onAddressChanged();
}

void ReceptionTab::onCancelRenewalClicked() {
    const std::string address = mailAddress();
    if (!AskYesNo(TrFormat("Отменить продление сертификата %1?", {address}) + "\r\n" +
                      Tr("Ключ и запрос продления будут удалены, рабочий сертификат и его ключ "
                         "останутся."),
                  RenewalCaption(), DefaultAnswer::No))
        return;
    std::string keptContainer;
    const CancelOutcome outcome =
        RunBusy([&address, &keptContainer] { return CancelRenewal(address, &keptContainer); });
    onAddressChanged();
    if (outcome == CancelOutcome::NothingPending)
        ShowInfoBox(TrFormat("Продление сертификата %1 не запрашивалось.", {address}),
                    RenewalCaption());
    else if (!keptContainer.empty())
        // A container may hold the only copy of a key: the user decides whether it goes.
        ShowInfoBox(TrFormat("Продление сертификата %1 отменено. Контейнер ключей \"%2\" "
                             "оставлен: удалите его средствами крипто провайдера, если он не "
                             "нужен.",
                             {address, keptContainer}),
                    RenewalCaption());
}

void ReceptionTab::onCheckClicked() {
    CheckResult result;
    {
        WaitCursor wait;
        setLinkEnabled(exportLink_, false);
        result = CheckCertificate(kCertificateFile, kCertificateKeyFile, mailAddress(),
                                  S(checkPasswordEdit_->text()));
        state_.InstallEnabled = result.Valid;
        setLinkEnabled(exportLink_, result.Valid);
    }
    if (!result.Text.empty())
        ShowInfoBox(result.Text);
}

void ReceptionTab::onExportLinkClicked() {
    const std::string address = mailAddress();
    const std::string password = S(checkPasswordEdit_->text());
    const ShellOpener opener = CurrentOpener();
    std::string written;
    int code = shellopen::kSucceeded;
    // The conversion runs the openssl tool; the window waits for it without freezing.
    RunBusy([&] {
        written = ExportPkcs12(address, password, ConfiguredPkcs12Profile());
        code = opener(written);
    });
    if (code == shellopen::kNoAssociation)
        tellWhereTheFileIs(written, password, opener);
    else
        CheckShellExecute(code);
}

// No program takes .p12 files here: the file is written all the same, so the user learns where
// it is, may open its folder and, where the NSS tools are, put it into the NSS store that
// browsers and mail programs read. One box at a time: the folder is opened (or its failure told)
// before the next question.
void ReceptionTab::tellWhereTheFileIs(const std::string& written, const std::string& password,
                                      const ShellOpener& opener) {
    const std::string folder = ExcludeTrailingPathDelimiter(ExtractFilePath(written));
    if (AskYesNo(TrFormat("%1 записан в папку", {kCertificateP12File}) + "\r\n" + folder +
                 "\r\n\r\n" +
                 Tr("Программы для файлов .p12 на этом компьютере нет. Открыть папку?")))
        OpenFolderAndWait(folder, opener);
    if (FindInPath("pk12util").empty() ||
        !AskYesNo(Tr("Добавить сертификат в хранилище NSS (им пользуются браузеры и почтовые "
                     "программы)?")))
        return;
    RunBusy([&] { ImportIntoNssDatabase(written, password); });
    ShowInfoBox(TrFormat("Сертификат добавлен в хранилище NSS %1", {UserNssDatabase()}));
}

void ReceptionTab::onFolderLinkClicked() {
    const std::string address = mailAddress();
    const ShellOpener opener = CurrentOpener();
    OpenOffInterfaceThread([address, opener] { OpenFolderNamingIt(address, opener); });
}

} // namespace cq::ui
