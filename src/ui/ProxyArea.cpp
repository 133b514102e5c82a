#include "ui/ProxyArea.h"

#include "settings/Settings.h"
#include "transport/ProxyDiscovery.h"
#include "ui/BaseForm.h"
#include "ui/FormParts.h"
#include "ui/UiText.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QVBoxLayout>

namespace cq::ui {
namespace {

struct FieldSpec {
    const char* name;
    QString caption;
    QString hint;
    int width;
    std::string SettingsValues::*value;
};

} // namespace

ProxyArea::ProxyArea(QWidget* parent) : QWidget(parent) {
    auto* areas = new QVBoxLayout(this);
    areas->setContentsMargins(0, 0, 0, 0);
    areas->setSpacing(0);
    areas->addWidget(buildUseRow());
    areas->addWidget(buildPanel());
}

QWidget* ProxyArea::buildUseRow() {
    auto* row = new QWidget(this);
    row->setObjectName(QStringLiteral("pnlUseProxy"));
    row->setMinimumHeight(design::kUseProxyHeight);
    useProxyCheck_ = Named(new QCheckBox(TrQ("&Использовать прокси"), row), "chBoxProxyUse",
                           TrQ("Использовать прокси"),
                           TrQ("Включает/выключает использование прокси в запросах."));
    useProxyCheck_->setChecked(true);
    useProxyCheck_->setProperty(kHintTarget, true);
    connect(useProxyCheck_, &QCheckBox::toggled, this,
            [this](bool checked) { onUseProxyToggled(checked); });
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(design::kMargin, 0, design::kMargin, 0);
    layout->addWidget(useProxyCheck_, 0, Qt::AlignVCenter);
    layout->addStretch(1);
    return row;
}

// The caption on top; below it the four edits side by side, each with its caption above.
QWidget* ProxyArea::buildPanel() {
    panel_ = new QWidget(this);
    panel_->setObjectName(QStringLiteral("pnlProxy"));
    panel_->setMinimumHeight(design::kProxyHeight);
    sourceLabel_ = Named(MakeLabel(TrQ("Настройки прокси считаны из ini файла"), panel_, true),
                         "lblProxiInfo", TrQ("Настройки прокси считаны из ini файла"),
                         TrQ("Удалите ini файл или секцию Proxy из него чтобы взять настройки из "
                             "Internet Explorer"));
    auto* column = new QVBoxLayout(panel_);
    column->setContentsMargins(design::kMargin, 6, design::kMargin, 6);
    column->setSpacing(0);
    column->addWidget(sourceLabel_);
    column->addSpacing(14);
    auto* grid = FieldGrid();
    grid->setHorizontalSpacing(6);
    column->addLayout(grid);
    column->addStretch(1);

    const std::pair<QLineEdit**, FieldSpec> fields[] = {
        {&serverEdit_,
         {"edProxyServer", TrQ("Прокси &сервер"), TrQ("Введите имя прокси."), 190,
          &SettingsValues::ProxyServer}},
        {&portEdit_,
         {"edProxyPort", TrQ("П&орт"), TrQ("Введите номер порта."), 56,
          &SettingsValues::ProxyPort}},
        {&loginEdit_,
         {"edProxyLogin", TrQ("&Логин"),
          TrQ("Авторизация в прокси, введите логин, если требуется."), 80,
          &SettingsValues::ProxyUserName}},
        {&passwordEdit_,
         {"edProxyPassword", TrQ("Па&роль"),
          TrQ("Авторизация в прокси, введите пароль, если требуется."), 77,
          &SettingsValues::ProxyPassword}},
    };
    int index = 0;
    for (const auto& [member, field] : fields) {
        auto* label = MakeLabel(field.caption, panel_);
        const QString spoken = QString(field.caption).remove(QLatin1Char('&'));
        // The four edits share the row in the designed proportions, whatever their captions.
        auto* edit = Named(new QLineEdit(panel_), field.name, spoken, field.hint);
        edit->setMinimumWidth(field.width);
        edit->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
        edit->setProperty(kHintTarget, true);
        BaseForm::suppressContextMenu(edit);
        label->setBuddy(edit);
        *member = edit;
        grid->addWidget(label, 0, index);
        grid->addWidget(edit, 1, index);
        grid->setColumnStretch(index, field.width); // a wider window widens them alike
        ++index;
        connect(edit, &QLineEdit::textChanged, this,
                [value = field.value](const QString& text) { Settings().*value = Trimmed(text); });
    }
    passwordEdit_->setEchoMode(QLineEdit::Password);
    BaseForm::markSecret(passwordEdit_);
    return panel_;
}

QList<QWidget*> ProxyArea::tabChain() const {
    return {useProxyCheck_, serverEdit_, portEdit_, loginEdit_, passwordEdit_};
}

void ProxyArea::showSettings() {
    SettingsValues& settings = Settings();
    if (!settings.ProxyFromIni)
        TakeSystemProxyUnlessFromIni();
    const SettingsValues values = settings; // the edits' change handlers write back
    useProxyCheck_->setChecked(values.ProxyUse);
    serverEdit_->setText(Q(values.ProxyServer));
    portEdit_->setText(Q(values.ProxyPort));
    if (values.ProxyFromIni) {
        loginEdit_->setText(Q(values.ProxyUserName));
        passwordEdit_->setText(Q(values.ProxyPassword));
        return;
    }
    loginEdit_->clear();
    passwordEdit_->clear();
    sourceLabel_->setText(TrQ("Настройки прокси считаны из Internet Explorer"));
    sourceLabel_->setToolTip({});
}

void ProxyArea::onUseProxyToggled(bool checked) {
    Settings().ProxyUse = checked;
    panel_->setVisible(checked);
    emit panelToggled(checked);
}

} // namespace cq::ui
