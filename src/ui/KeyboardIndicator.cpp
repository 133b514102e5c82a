#include "ui/KeyboardIndicator.h"

#include "platform/KeyboardLayout.h"

#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QTimer>

// The two flags (resources/flags/flags.qrc) are compiled into this static library; the first
// indicator registers them.
static void RegisterFlagResources() {
    static const bool registered = [] {
        Q_INIT_RESOURCE(flags);
        return true;
    }();
    (void)registered;
}

namespace cq::ui {
namespace {

constexpr int kFlagSize = 7;
constexpr int kLangTimerInterval = 100;

QLabel* MakeFlag(QWidget* parent, const QString& objectName, const QString& file) {
    RegisterFlagResources();
    auto* flag = new QLabel(parent);
    flag->setObjectName(objectName);
    flag->setPixmap(QPixmap(file));
    flag->setFixedSize(kFlagSize, kFlagSize);
    // The caption stays where it is whichever flag shows, or none.
    QSizePolicy policy = flag->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    flag->setSizePolicy(policy);
    flag->hide();
    return flag;
}

} // namespace

KeyboardIndicator::KeyboardIndicator(QWidget* parent)
    : QWidget(parent),
      imgEngl_(MakeFlag(this, QStringLiteral("imgEngl"), QStringLiteral(":/flags/english.png"))),
      imgRu_(MakeFlag(this, QStringLiteral("imgRu"), QStringLiteral(":/flags/russian.png"))),
      lblEn_(new QLabel(QStringLiteral("EN"), this)), langTimer_(new QTimer(this)) {
    setObjectName(QStringLiteral("KeyboardIndicator"));
    imgEngl_->setToolTip(QStringLiteral("Активна английская раскладка"));
    lblEn_->setObjectName(QStringLiteral("lblEn"));
    QFont bold; // bold in the indicator's font, whatever that is
    bold.setBold(true);
    lblEn_->setFont(bold);
    // The flags in one place at the left, centred on the caption's height; the caption follows.
    auto* row = new QGridLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setHorizontalSpacing(3);
    row->addWidget(imgEngl_, 0, 0, Qt::AlignVCenter);
    row->addWidget(imgRu_, 0, 0, Qt::AlignVCenter);
    row->addWidget(lblEn_, 0, 1);
    row->setSizeConstraint(QLayout::SetFixedSize);
    setCursor(Qt::PointingHandCursor);
    setAccessibleName(QStringLiteral("Раскладка клавиатуры"));

    langTimer_->setObjectName(QStringLiteral("LangTimer"));
    langTimer_->setSingleShot(true);
    langTimer_->setInterval(kLangTimerInterval);
    connect(langTimer_, &QTimer::timeout, this, [this] {
        langTimer_->stop();
        ShowKeyboardLayout();
    });
}

bool KeyboardIndicator::LayoutsAvailable() {
    return QGuiApplication::platformName() == QLatin1String("xcb");
}

void KeyboardIndicator::ShowKeyboardLayout() {
    ShowLayoutName(LayoutsAvailable() ? ActiveKeyboardLayout() : std::string());
}

void KeyboardIndicator::ShowLayoutName(const std::string& layout) {
    const bool english = layout == "us";
    imgEngl_->setVisible(english);
    imgRu_->setVisible(!english);
    QString hint = imgEngl_->toolTip();
    if (english) {
        lblEn_->setText(QStringLiteral("EN"));
    } else if (layout == "ru") {
        lblEn_->setText(QStringLiteral("RU"));
        hint = QStringLiteral("Активна русская раскладка");
    } else {
        lblEn_->setText(QStringLiteral("??"));
        hint = QStringLiteral("Не известная (не обрабатывается) раскладка");
    }
    imgRu_->setToolTip(english ? QString() : hint);
    setAccessibleDescription(lblEn_->text() + QStringLiteral(": ") + hint);
}

void KeyboardIndicator::StartLangTimer() {
    langTimer_->start();
}

void KeyboardIndicator::EnRuClick() {
    if (caption() != QLatin1String("EN") && LayoutsAvailable())
        ActivateKeyboardLayout("us");
}

QString KeyboardIndicator::caption() const {
    return lblEn_->text();
}

void KeyboardIndicator::mousePressEvent(QMouseEvent* event) {
    event->setAccepted(event->button() == Qt::LeftButton);
}

void KeyboardIndicator::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !rect().contains(event->position().toPoint())) {
        event->ignore();
        return;
    }
    event->accept();
    EnRuClick();
}

} // namespace cq::ui
