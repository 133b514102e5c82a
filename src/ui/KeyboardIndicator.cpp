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
    : QWidget(parent), englishFlag_(MakeFlag(this, QStringLiteral("imgEngl"),
                                             QStringLiteral(":/flags/english.png"))),
      russianFlag_(MakeFlag(this, QStringLiteral("imgRu"), QStringLiteral(":/flags/russian.png"))),
      captionLabel_(new QLabel(QStringLiteral("EN"), this)), refreshTimer_(new QTimer(this)) {
    setObjectName(QStringLiteral("KeyboardIndicator"));
    englishFlag_->setToolTip(QStringLiteral("Активна английская раскладка"));
    captionLabel_->setObjectName(QStringLiteral("lblEn"));
    QFont bold; // bold in the indicator's font, whatever that is
    bold.setBold(true);
    captionLabel_->setFont(bold);
    // The flags in one place at the left, centred on the caption's height; the caption follows.
    auto* row = new QGridLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setHorizontalSpacing(3);
    row->addWidget(englishFlag_, 0, 0, Qt::AlignVCenter);
    row->addWidget(russianFlag_, 0, 0, Qt::AlignVCenter);
    row->addWidget(captionLabel_, 0, 1);
    row->setSizeConstraint(QLayout::SetFixedSize);
    setCursor(Qt::PointingHandCursor);
    setAccessibleName(QStringLiteral("Раскладка клавиатуры"));

    refreshTimer_->setObjectName(QStringLiteral("LangTimer"));
    refreshTimer_->setSingleShot(true);
    refreshTimer_->setInterval(kLangTimerInterval);
    connect(refreshTimer_, &QTimer::timeout, this, [this] {
        refreshTimer_->stop();
        showActiveLayout();
    });
}

bool KeyboardIndicator::layoutsAvailable() {
    return QGuiApplication::platformName() == QLatin1String("xcb");
}

void KeyboardIndicator::showActiveLayout() {
    showLayout(layoutsAvailable() ? ActiveKeyboardLayout() : std::string());
}

// Where no source tells the layout (a Wayland session, no display), the indicator shows nothing:
// a flag there could only be a guess.
void KeyboardIndicator::showNothing() {
    englishFlag_->hide();
    russianFlag_->hide();
    captionLabel_->clear();
    setAccessibleDescription(QStringLiteral("Раскладка не определена"));
}

void KeyboardIndicator::showLayout(const std::string& layout) {
    if (layout.empty())
        return showNothing();
    const bool english = layout == "us";
    englishFlag_->setVisible(english);
    russianFlag_->setVisible(!english);
    QString hint = englishFlag_->toolTip();
    if (english) {
        captionLabel_->setText(QStringLiteral("EN"));
    } else if (layout == "ru") {
        captionLabel_->setText(QStringLiteral("RU"));
        hint = QStringLiteral("Активна русская раскладка");
    } else {
        captionLabel_->setText(QStringLiteral("??"));
        hint = QStringLiteral("Не известная (не обрабатывается) раскладка");
    }
    russianFlag_->setToolTip(english ? QString() : hint);
    setAccessibleDescription(captionLabel_->text() + QStringLiteral(": ") + hint);
}

void KeyboardIndicator::startRefreshTimer() {
    refreshTimer_->start();
}

void KeyboardIndicator::switchToEnglish() {
    if (caption() != QLatin1String("EN") && layoutsAvailable())
        ActivateKeyboardLayout("us");
}

QString KeyboardIndicator::caption() const {
    return captionLabel_->text();
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
    switchToEnglish();
}

} // namespace cq::ui
