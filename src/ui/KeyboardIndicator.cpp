#include "ui/KeyboardIndicator.h"

#include "platform/KeyboardLayout.h"
#include "ui/UiText.h"

#include <QFutureWatcher>
#include <QGridLayout>
#include <QGuiApplication>
#include <QInputDevice>
#include <QInputMethod>
#include <QLabel>
#include <QLocale>
#include <QMouseEvent>
#include <QPromise>
#include <QThreadPool>
#include <QTimer>

#include <memory>

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

bool IsWayland() {
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

// Whether the input method has told a language of its own since the start.
bool& InputMethodReported() {
    static bool reported = false;
    return reported;
}

std::string PlatformInputMethodLayout() {
    static const bool watching = [] {
        QObject::connect(QGuiApplication::inputMethod(), &QInputMethod::localeChanged,
                         QGuiApplication::inputMethod(), [] { InputMethodReported() = true; });
        return true;
    }();
    (void)watching;
    // Qt's Wayland input context asks the seat's text input without looking whether there is a
    // seat at all (a compositor without input devices): no seat, no input method to ask.
    if (QInputDevice::seatNames().isEmpty())
        return {};
    return InputMethodLayout(QGuiApplication::inputMethod()->locale(), QLocale::system(),
                             InputMethodReported());
}

} // namespace

std::string InputMethodLayout(const QLocale& locale, const QLocale& system, bool reported) {
    if (locale.language() == QLocale::C || locale.language() == QLocale::AnyLanguage)
        return {};
    if (!reported && locale == system)
        return {};
    switch (locale.language()) {
    case QLocale::English:
        return "us";
    case QLocale::Russian:
        return "ru";
    default:
        return QLocale::languageToCode(locale.language()).toStdString();
    }
}

KeyboardLayoutSources KeyboardLayoutSources::ofPlatform() {
    KeyboardLayoutSources sources;
    if (KeyboardIndicator::layoutsAvailable()) {
        sources.display = [] {
            return ActiveKeyboardLayout();
        };
    } else if (IsWayland()) {
        // Read here, on the interface thread: the worker must not read the environment.
        sources.desktopSetting = [desktop =
                                      qEnvironmentVariable("XDG_CURRENT_DESKTOP").toStdString()] {
            return DesktopSettingKeyboardLayout(desktop);
        };
        sources.inputMethod = PlatformInputMethodLayout;
    }
    return sources;
}

KeyboardIndicator::KeyboardIndicator(QWidget* parent)
    : QWidget(parent), englishFlag_(MakeFlag(this, QStringLiteral("imgEngl"),
                                             QStringLiteral(":/flags/english.png"))),
      russianFlag_(MakeFlag(this, QStringLiteral("imgRu"), QStringLiteral(":/flags/russian.png"))),
      captionLabel_(new QLabel(QStringLiteral("EN"), this)), refreshTimer_(new QTimer(this)),
      sources_(KeyboardLayoutSources::ofPlatform()),
      desktopRead_(new QFutureWatcher<std::string>(this)) {
    setObjectName(QStringLiteral("KeyboardIndicator"));
    englishFlag_->setToolTip(TrQ("Активна английская раскладка"));
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
    setAccessibleName(TrQ("Раскладка клавиатуры"));

    refreshTimer_->setObjectName(QStringLiteral("LangTimer"));
    refreshTimer_->setSingleShot(true);
    refreshTimer_->setInterval(kLangTimerInterval);
    connect(refreshTimer_, &QTimer::timeout, this, [this] {
        refreshTimer_->stop();
        showActiveLayout();
    });
    connect(desktopRead_, &QFutureWatcher<std::string>::finished, this,
            &KeyboardIndicator::desktopReadDone);
    // An input method that switches its language says so: the indicator follows.
    connect(QGuiApplication::inputMethod(), &QInputMethod::localeChanged, this,
            &KeyboardIndicator::startRefreshTimer);
}

void KeyboardIndicator::setLayoutSources(KeyboardLayoutSources sources) {
    sources_ = std::move(sources);
}

bool KeyboardIndicator::layoutsAvailable() {
    return QGuiApplication::platformName() == QLatin1String("xcb");
}

void KeyboardIndicator::showActiveLayout() {
    if (sources_.display)
        return showLayout(sources_.display());
    if (!sources_.desktopSetting)
        return showLayout(sources_.inputMethod ? sources_.inputMethod() : std::string());
    if (reading()) {
        readAgain_ = true; // the answer on its way may be older than what asked now
        return;
    }
    if (!answered_)
        showNothing(); // not the constructed caption while the first answer is on its way
    startDesktopRead();
}

bool KeyboardIndicator::reading() const {
    return reading_;
}

// The setting is read on a worker of the global pool; the watcher, a child of the indicator,
// brings the answer back to the interface thread, and not at all once the indicator is gone.
void KeyboardIndicator::startDesktopRead() {
    reading_ = true;
    auto promise = std::make_shared<QPromise<std::string>>();
    desktopRead_->setFuture(promise->future());
    promise->start();
    QThreadPool::globalInstance()->start([promise, read = sources_.desktopSetting] {
        std::string layout;
        try {
            layout = read();
        } catch (const std::exception&) { // a setting that cannot be read tells nothing
        }
        promise->addResult(layout);
        promise->finish();
    });
}

void KeyboardIndicator::desktopReadDone() {
    if (readAgain_) {
        readAgain_ = false;
        return startDesktopRead();
    }
    std::string layout = desktopRead_->future().resultCount() > 0 ? desktopRead_->result() : "";
    if (layout.empty() && sources_.inputMethod)
        layout = sources_.inputMethod();
    reading_ = false;
    answered_ = true;
    showLayout(layout);
}

// Where no source tells the layout (a Wayland session, no display), the indicator shows nothing:
// a flag there could only be a guess.
void KeyboardIndicator::showNothing() {
    englishFlag_->hide();
    russianFlag_->hide();
    captionLabel_->clear();
    setAccessibleDescription(TrQ("Раскладка не определена"));
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
        hint = TrQ("Активна русская раскладка");
    } else {
        captionLabel_->setText(QStringLiteral("??"));
        hint = TrQ("Не известная (не обрабатывается) раскладка");
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
