#include "ui/GostPanel.h"

#include "base/Dialogs.h"
#include "provider/ProviderRegistry.h"
#include "ui/FormParts.h"
#include "ui/SameWidthGroup.h"
#include "ui/TextSampleEdit.h"
#include "ui/UiText.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QSignalBlocker>

#include <chrono>

namespace cq::ui {

GostPanel::GostPanel(SameWidthGroup* captions, SameWidthGroup* buttons, QWidget* parent)
    : QWidget(parent) {
    setObjectName(QStringLiteral("pnlSendGost"));
    auto* providerCaption = Named(MakeRowLabel(TrQ("Крипто &провайдер :"), this), "lblProvName",
                                  TrQ("Крипто провайдер"));
    // Across the panel. The providers' names can be long; the list shows what fits and its hint
    // the whole name.
    providerList_ = Named(new QComboBox(this), "cbProvName", TrQ("Крипто провайдер"));
    providerList_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    providerList_->setMinimumWidth(design::kContainerEditWidth);
    providerCaption->setBuddy(providerList_);
    startButton_ = WithDesignSize(Named(new QPushButton(TrQ("Начать про&цедуру"), this),
                                        "butStartGost", TrQ("Начать процедуру"),
                                        TrQ("Посылает запрос на сертификат на сервер Кворикс")),
                                  design::kRightButtonWidth);
    startButton_->setEnabled(false);
    startButton_->setProperty(kHintTarget, true);
    auto* containerCaption =
        Named(MakeRowLabel(TrQ("Контейнер ключей :"), this), "lblCont", TrQ("Контейнер ключей"));
    // A one-line field without a list, disabled and grey: the name is made, not chosen. It is
    // wide enough for the whole name.
    containerNameEdit_ = Named(new TextSampleEdit(Q(GostContainerName({})), this), "cbCont",
                               TrQ("Контейнер ключей"));
    SetDesignWidth(containerNameEdit_, design::kContainerEditWidth);
    containerNameEdit_->setEnabled(false);
    containerCaption->setBuddy(containerNameEdit_);

    // The provider list across the panel; below it the container's name and the button.
    auto* grid = FieldGrid(this);
    grid->addWidget(providerCaption, 0, 0);
    grid->addWidget(providerList_, 0, 1);
    grid->addWidget(containerCaption, 1, 0);
    auto* containerRow = new QHBoxLayout;
    containerRow->setSpacing(design::kColumnSpacing);
    containerRow->addWidget(containerNameEdit_, 0, Qt::AlignVCenter);
    containerRow->addStretch(1);
    containerRow->addWidget(startButton_);
    grid->addLayout(containerRow, 1, 1);
    grid->setRowStretch(2, 1);
    captions->add(providerCaption);
    captions->add(containerCaption);
    buttons->add(startButton_);

    connect(providerList_, &QComboBox::currentIndexChanged, this, [this] { onProviderChanged(); });
    connect(containerNameEdit_, &QLineEdit::textChanged, this,
            [this] { emit fieldChanged(containerNameEdit_); });
    connect(startButton_, &QPushButton::clicked, this, &GostPanel::startClicked);
}

GostPanel::~GostPanel() {
    // The list's entries go before the provider infos they stand for.
    const QSignalBlocker quiet(providerList_);
    providerList_->clear();
    providerInfos_.clear();
}

void GostPanel::fillProviderList() {
    providerInfos_.clear();
    {
        const QSignalBlocker quiet(providerList_);
        providerList_->clear();
    }
    containerNameEdit_->clear();
    // Tokens come and go: they are looked for again each time the list is built.
    provider::RefreshInstalledProviders();
    // Each faulty module is told once a session, however often the list is built.
    const std::vector<ProviderEntry> entries =
        QualifyingProvidersTellingFaults([this](const std::string& problem) {
            if (toldModuleProblems_.insert(problem).second)
                ShowWarningBox(problem);
        });
    for (const ProviderEntry& entry : entries) {
        providerInfos_.push_back(entry.Info);
        const QSignalBlocker quiet(providerList_);
        providerList_->addItem(Q(entry.Name));
    }
    providerList_->setCurrentIndex(0);
    onProviderChanged();
}

QString GostPanel::providerName() const {
    return providerList_->currentText();
}

QString GostPanel::containerName() const {
    return containerNameEdit_->text();
}

std::optional<TProvInfo> GostPanel::chosenProvider() const {
    const int index = providerList_->currentIndex();
    if (index < 0 || static_cast<size_t>(index) >= providerInfos_.size())
        return std::nullopt;
    return providerInfos_[static_cast<size_t>(index)];
}

void GostPanel::setStartEnabled(bool enabled) {
    startButton_->setEnabled(enabled);
}

QWidget* GostPanel::firstControl() const {
    return providerList_;
}

QList<QWidget*> GostPanel::tabChain() const {
    return {providerList_, startButton_, containerNameEdit_};
}

void GostPanel::onProviderChanged() {
    const QString name = providerList_->currentText();
    providerList_->setToolTip(name);
    if (name.isEmpty())
        containerNameEdit_->clear();
    else
        containerNameEdit_->setText(Q(GostContainerName(std::chrono::system_clock::now())));
    emit fieldChanged(providerList_);
}

} // namespace cq::ui
