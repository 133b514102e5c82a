#include "ui/MainSertForm.h"

#include "app/AppServer.h"
#include "app/ErrorReport.h"
#include "ui/HelpText.h"
#include "ui/RichBox.h"
#include "ui/SertInfo.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace cq::ui {
namespace {

TMainSertForm* mainForm = nullptr;

constexpr int kClientWidth = 437;
constexpr int kClientHeight = 525;
constexpr int kBottomHeight = 54;
constexpr int kSaveStripWidth = 117;

// A label that reads like a link: navy, bold, underlined, with the hand cursor; a click runs
// `onClick`.
QLabel* MakeLinkLabel(const QString& caption, const QString& hint, QWidget* parent,
                      std::function<void()> onClick) {
    auto* label = new QLabel(caption, parent);
    QFont font = label->font();
    font.setBold(true);
    font.setUnderline(true);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, QColor(0, 0, 128));
    label->setPalette(palette);
    label->setCursor(Qt::PointingHandCursor);
    label->setToolTip(hint);

    // Clicks on a plain label arrive as mouse releases on it.
    class ClickFilter : public QObject {
    public:
        ClickFilter(QObject* parent, std::function<void()> click)
            : QObject(parent), click_(std::move(click)) {}
        bool eventFilter(QObject*, QEvent* event) override {
            if (event->type() != QEvent::MouseButtonRelease ||
                static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton)
                return false;
            click_();
            return true;
        }

    private:
        std::function<void()> click_;
    };
    label->installEventFilter(new ClickFilter(label, std::move(onClick)));
    return label;
}

QWidget* MakeTab(QLabel* infoLabel) {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    auto* top = new QHBoxLayout;
    top->addStretch();
    top->addWidget(infoLabel);
    layout->addLayout(top);
    layout->addStretch();
    return page;
}

} // namespace

TMainSertForm::TMainSertForm(QWidget* parent) : TBaseForm(parent) {
    mainForm = this;
    setWindowTitle(QStringLiteral("QUORIX Cert - запрос/получение сертификатов"));
    setWindowFlag(Qt::WindowMinimizeButtonHint);

    lblSertInfo_ = MakeLinkLabel(
        QStringLiteral("Информация"),
        QStringLiteral("Предупреждение по получению сертификатов. Быстрый вызов (Ctrl+I)"), this,
        [this] { SertInfoClick(); });
    lblSertGetInfo_ =
        MakeLinkLabel(QStringLiteral("Информация"),
                      QStringLiteral("Информация по файлам сертификатов. Быстрый вызов (Ctrl+I)"),
                      this, [this] { lblSertGetInfoClick(); });
    pControl_ = new QTabWidget(this);
    pControl_->addTab(MakeTab(lblSertInfo_), QStringLiteral("Запрос на сертификат"));
    pControl_->addTab(MakeTab(lblSertGetInfo_), QStringLiteral("Получение сертификата"));

    rich_ = new TRichBox(this);
    rich_->setObjectName(QStringLiteral("rich"));
    rich_->setFocusPolicy(Qt::ClickFocus);
    rich_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    rich_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    rich_->setFormattingInset(4, 2);
    popMenEmpty(rich_);
    butSave_ = new QPushButton(QStringLiteral("Сохранить"), this);
    butSave_->setToolTip(QStringLiteral(
        "Сохраняет настройки прокси, введенные данные сертификата. Позволяет продолжить процедуру "
        "запроса после, начиная с сохраненного."));

    auto* bottom = new QHBoxLayout;
    bottom->setContentsMargins(0, 0, 0, 0);
    bottom->addWidget(rich_, 1);
    auto* saveStrip = new QVBoxLayout;
    saveStrip->addStretch();
    saveStrip->addWidget(butSave_);
    saveStrip->addStretch();
    auto* saveHolder = new QWidget(this);
    saveHolder->setLayout(saveStrip);
    saveHolder->setFixedWidth(kSaveStripWidth);
    bottom->addWidget(saveHolder);
    auto* bottomHolder = new QWidget(this);
    bottomHolder->setLayout(bottom);
    bottomHolder->setFixedHeight(kBottomHeight);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(pControl_, 1);
    layout->addWidget(bottomHolder);
    resize(kClientWidth, kClientHeight);
    FormCreate();
    setFixedSize(kClientWidth, kClientHeight); // a dialog frame: no resizing

    // Errors that escape any handler of the program end here.
    SetApplicationErrorHandler([](const std::exception& error) { OnApplicationError(error); });
    SetHelpOwnerWindow(this);
}

TMainSertForm::~TMainSertForm() {
    if (mainForm == this)
        mainForm = nullptr;
    SetApplicationErrorHandler({});
}

void TMainSertForm::SertInfoClick() {
    ShowHelpInfo(kHelpSertWarning, nullptr);
}

void TMainSertForm::lblSertGetInfoClick() {
    ShowHelpInfo(kHelpSertInfo, nullptr);
}

TMainSertForm* MainSertForm() {
    return mainForm;
}

} // namespace cq::ui
