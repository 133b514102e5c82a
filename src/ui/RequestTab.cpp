#include "ui/RequestTab.h"

#include "certs/GostProcedure.h"
#include "certs/Submission.h"
#include "settings/CertFolders.h"
#include "settings/ServiceDefaults.h"
#include "ui/BusyTask.h"
#include "ui/CertificateInfoPanel.h"
#include "ui/FormParts.h"
#include "ui/GostPanel.h"
#include "ui/HandlerGuard.h"
#include "ui/HelpText.h"
#include "ui/KeyboardIndicator.h"
#include "ui/LinkLabel.h"
#include "ui/Pictures.h"
#include "ui/RsaPanel.h"
#include "ui/SameWidthGroup.h"
#include "ui/SubjectGrid.h"

#include "base/Dialogs.h"
#include "ui/UiText.h"

#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace cq::ui {
namespace {

constexpr int kLineRowHeight = 9;

} // namespace

RequestTab::RequestTab(SameWidthGroup* captions, SameWidthGroup* buttons, QWidget* parent)
    : QWidget(parent) {
    keyboardIndicator_ = new KeyboardIndicator(this);
    informationLink_ =
        Named(new LinkLabel(TrQ("Информация"),
                            TrQ("Предупреждение по получению сертификатов. Быстрый вызов "
                                "(Ctrl+I)"),
                            this),
              "lblSertInfo", TrQ("Информация"));
    informationLink_->setFocusPolicy(Qt::NoFocus); // Ctrl+I reaches it from every field
    connect(informationLink_, &LinkLabel::activated, this, [this] { showInformation(); });
    auto* informationPicture = MakePicture(this, Picture::Information, true);
    informationPicture->setObjectName(QStringLiteral("imjSertInfo"));
    informationPicture->setToolTip(informationLink_->toolTip());
    auto* layoutWarning = Named(
        MakeLabel(TrQ("Ввод должен осуществляться только в английской раскладке!"), this, true),
        "lblSert", TrQ("Ввод должен осуществляться только в английской раскладке!"));
    subject_ = new SubjectGrid(captions, this);
    rsaPanel_ = new RsaPanel(captions, buttons, this);
    gostPanel_ = new GostPanel(captions, buttons, this);
    // One panel shown at a time, the room of the larger kept, so the window keeps its size when
    // the kind changes.
    modePanels_ = new QStackedWidget(this);
    modePanels_->addWidget(rsaPanel_);
    modePanels_->addWidget(gostPanel_);
    modePanels_->setCurrentWidget(rsaPanel_);

    auto* column = PageColumn(this);
    column->addLayout(InformationRow(keyboardIndicator_, informationPicture, informationLink_));
    column->addSpacing(4);
    column->addWidget(layoutWarning);
    column->addSpacing(9);
    column->addWidget(subject_);
    column->addSpacing(design::kRowSpacing);
    column->addWidget(buildCertificateTypeRow(captions));
    column->addSpacing(3);
    column->addWidget(modePanels_);
    column->addStretch(1);

    connect(subject_, &SubjectGrid::fieldChanged, this,
            [this](QObject* sender) { onRequestFieldChanged(sender); });
    connect(rsaPanel_, &RsaPanel::fieldChanged, this,
            [this](QObject* sender) { onRequestFieldChanged(sender); });
    connect(gostPanel_, &GostPanel::fieldChanged, this,
            [this](QObject* sender) { onRequestFieldChanged(sender); });
    connect(rsaPanel_, &RsaPanel::sendClicked, this,
            [this] { Guarded([this] { onSendRsaRequestClicked(); }); });
    connect(gostPanel_, &GostPanel::startClicked, this,
            [this] { Guarded([this] { onStartGostProcedureClicked(); }); });
}

// A line, and below it the choice of RSA or GOST: a stop of the tab order whose arrows change
// the choice.
QWidget* RequestTab::buildCertificateTypeRow(SameWidthGroup* captions) {
    auto* row = new QWidget(this);
    auto* grid = FieldGrid(row);
    auto* line = new QFrame(row);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    grid->addWidget(line, 0, 0, 1, 3);
    grid->setRowMinimumHeight(0, kLineRowHeight);
    auto* caption =
        Named(MakeRowLabel(TrQ("Тип сертифи&ката :"), row), "lblRsaGost", TrQ("Тип сертификата"));
    certificateTypeList_ = Named(new QComboBox(row), "cBoxRsaGost", TrQ("Тип сертификата"),
                                 TrQ("Смена типа запрашиваемого сертификата RSA/ГОСТ"));
    certificateTypeList_->addItems({QStringLiteral("RSA"), TrQ("ГОСТ")});
    certificateTypeList_->setMinimumWidth(design::kModeListWidth);
    certificateTypeList_->setFocusPolicy(Qt::StrongFocus);
    certificateTypeList_->setProperty(kArrowsChoose, true);
    certificateTypeList_->installEventFilter(this);
    caption->setBuddy(certificateTypeList_);
    captions->add(caption);
    grid->addWidget(caption, 1, 0);
    grid->addWidget(certificateTypeList_, 1, 1, Qt::AlignLeft);
    grid->setColumnStretch(2, 1);
    connect(certificateTypeList_, &QComboBox::currentIndexChanged, this,
            [this] { Guarded([this] { onCertificateTypeChanged(); }); });
    // Chosen from the open list, the kind hands the focus on to the first control of its panel.
    connect(certificateTypeList_, &QComboBox::activated, this, [this] {
        QWidget* next = gostChosen() ? gostPanel_->firstControl() : rsaPanel_->firstControl();
        if (next->isEnabled())
            next->setFocus(Qt::TabFocusReason);
    });
    return row;
}

// Up and Down on the closed list step through the kinds; the focus stays on the list, so the
// user can step back (a choice from the open list hands the focus on instead).
bool RequestTab::eventFilter(QObject* watched, QEvent* event) {
    if (watched != certificateTypeList_ || event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    const int step = key->key() == Qt::Key_Down ? 1 : key->key() == Qt::Key_Up ? -1 : 0;
    if (step == 0 || key->modifiers() != Qt::NoModifier)
        return false;
    const int index = certificateTypeList_->currentIndex() + step;
    if (index >= 0 && index < certificateTypeList_->count())
        certificateTypeList_->setCurrentIndex(index);
    return true;
}

QString RequestTab::typedEmail() const {
    return subject_->emailEdit()->text();
}

bool RequestTab::gostChosen() const {
    return certificateTypeList_->currentIndex() == 1;
}

void RequestTab::showSaved(const SavedSubject& saved) {
    subject_->showValues(saved.subject());
    if (saved.OpenPassw)
        rsaPanel_->showOpenPassword(Q(saved.Password));
    if (saved.Gost) {
        QWidget* focus = QApplication::focusWidget();
        certificateTypeList_->setCurrentIndex(1);
        if (focus)
            focus->setFocus();
    }
}

SavedSubject RequestTab::toSave() const {
    SavedSubject saved;
    saved.subject() = TrimmedSubject(subject_->fields());
    saved.Password = S(rsaPanel_->password());
    saved.OpenPassw = rsaPanel_->openPassword();
    saved.Gost = gostChosen();
    return saved;
}

void RequestTab::showInformation() {
    ShowHelpInfo(gostChosen() ? kHelpGostProcedure : kHelpRsaProcedure, nullptr);
}

QWidget* RequestTab::startField() const {
    return subject_->tabChain().value(1);
}

QList<QWidget*> RequestTab::tabChain() const {
    return subject_->tabChain() + QList<QWidget*>{certificateTypeList_} + rsaPanel_->tabChain() +
           gostPanel_->tabChain();
}

RequestFields RequestTab::requestFields() const {
    RequestFields fields;
    fields.subject() = subject_->fields();
    fields.password = S(rsaPanel_->password());
    fields.password2 = S(rsaPanel_->confirmation());
    fields.openPassword = rsaPanel_->openPassword();
    fields.provider = S(gostPanel_->providerName());
    fields.container = S(gostPanel_->containerName());
    return fields;
}

// Every change checks the fields again: the edited field's caption turns red while the common
// name is refused, and each request button is enabled while its request may be sent.
void RequestTab::onRequestFieldChanged(QObject* sender) {
    if (!gostPanel_)
        return; // the panels are still being made
    const RequestFields fields = requestFields();
    QLabel* caption = subject_->captionOf(sender);
    if (!caption)
        caption = rsaPanel_->captionOf(sender);
    if (caption) {
        QPalette colours = caption->palette();
        colours.setColor(QPalette::WindowText, CommonNameIsBad(fields)
                                                   ? QColor(Qt::red)
                                                   : palette().color(QPalette::WindowText));
        caption->setPalette(colours);
    }
    rsaPanel_->setSendEnabled(RsaSendEnabled(fields, service::kOperatorMailDomain));
    gostPanel_->setStartEnabled(GostStartEnabled(fields, service::kOperatorMailDomain));
}

void RequestTab::onCertificateTypeChanged() {
    const bool gost = gostChosen();
    modePanels_->setCurrentWidget(gost ? static_cast<QWidget*>(gostPanel_) : rsaPanel_);
    subject_->setGostMarksVisible(gost);
    if (!gost)
        return;
    QApplication::processEvents(); // the new panel is painted before the providers are asked
    WaitCursor wait;
    gostPanel_->fillProviderList();
}

void RequestTab::onSendRsaRequestClicked() {
    rsaPanel_->clearConfirmation();
    const RequestFields fields = requestFields();
    if (const std::optional<std::string> refusal = PasswordRefusal(fields.password)) {
        ShowErrorBox(*refusal, context::kRequestCertificate);
        return;
    }
    const SubjectData subject = BuildSubjectData(fields);
    // Key generation and the exchange run off the interface thread; the window waits for them.
    const bool sent =
        RunBusy([&subject] { return RequestRsaCertificate(kCertificateKeyFile, subject); });
    if (sent)
        rsaPanel_->afterSending()->setFocus();
}

void RequestTab::onStartGostProcedureClicked() {
    const std::optional<TProvInfo> provider = gostPanel_->chosenProvider();
    if (!provider)
        return;
    GostRequestForm form = GostFormFor(requestFields());
    form.Info = *provider;
    // A cancelled password dialog ends the procedure without a word; errors reach the handler.
    RunBusy([&form] { return RunGostProcedure(form); });
}

} // namespace cq::ui
