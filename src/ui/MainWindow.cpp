#include "ui/MainWindow.h"

#include "app/AppServer.h"
#include "app/ErrorReport.h"
#include "settings/Settings.h"
#include "ui/CertificateInfoPanel.h"
#include "ui/ContainerPasswordDialog.h"
#include "ui/FormParts.h"
#include "ui/HandlerGuard.h"
#include "ui/HelpText.h"
#include "ui/KeyboardIndicator.h"
#include "ui/LinkLabel.h"
#include "ui/Mnemonics.h"
#include "ui/ProxyArea.h"
#include "ui/ReceptionTab.h"
#include "ui/RenewalView.h"
#include "ui/RequestTab.h"
#include "ui/RichTextBox.h"
#include "ui/RuleLineEdit.h"
#include "ui/SameWidthGroup.h"
#include "ui/UiText.h"

#include <QApplication>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QThread>
#include <QVBoxLayout>

#include <utility>

namespace cq::ui {
namespace {

MainWindow* theMainWindow = nullptr;

bool IsModifier(int key) {
    return key == Qt::Key_Shift || key == Qt::Key_Control || key == Qt::Key_Alt;
}

// A scroll area that asks for the whole of its content: the window takes the content's size
// wherever the screen has room for it, and scrolls only where it has not.
class ContentScroller : public QScrollArea {
public:
    using QScrollArea::QScrollArea;
    QSize sizeHint() const override {
        const int frame = 2 * frameWidth();
        return widget() ? widget()->sizeHint() + QSize(frame, frame) : QScrollArea::sizeHint();
    }
};

} // namespace

MainWindow::MainWindow(QWidget* parent) : BaseForm(parent) {
    theMainWindow = this;
    setWindowTitle(TrQ("QUORIX Cert - запрос/получение сертификатов"));
    setWindowFlag(Qt::WindowMinimizeButtonHint);
    setAccessibleName(windowTitle());

    captionColumn_ = new SameWidthGroup(design::kLabelColumnWidth, this);
    buttonColumn_ = new SameWidthGroup(design::kRightButtonWidth, this);
    content_ = new QWidget(this);
    content_->setObjectName(QStringLiteral("windowContent"));
    proxyArea_ = new ProxyArea(content_);
    tabs_ = Named(new QTabWidget(content_), "PControl", TrQ("Вкладки"));
    requestTab_ = new RequestTab(captionColumn_, buttonColumn_, tabs_);
    receptionTab_ = new ReceptionTab(buttonColumn_, tabs_);
    tabs_->addTab(requestTab_, TrQ("Запрос на сертификат"));
    tabs_->addTab(receptionTab_, TrQ("Получение сертификата"));
    requestTab_->setObjectName(QStringLiteral("tSheetInquiry"));
    receptionTab_->setObjectName(QStringLiteral("tSheetReception"));
    connect(tabs_, &QTabWidget::currentChanged, this, [this](int index) { onTabShown(index); });
    // The window takes its new height at once, not at the next event.
    connect(proxyArea_, &ProxyArea::panelToggled, this, [this] {
        proxyArea_->updateGeometry();
        fitToWorkArea();
    });

    layOutAreas();
    setTabRing();
    AddLatinMnemonics(this);
    adjustSizeLimitsToScreen();
    fitToWorkArea();
    requestTab_->startField()->setFocus();

    // Errors that escape any handler of the program end here.
    SetApplicationErrorHandler([](const std::exception& error) { OnApplicationError(error); });
    SetHelpOwnerWindow(this);
    InstallContainerPasswordDialog();
}

MainWindow::~MainWindow() {
    if (theMainWindow == this)
        theMainWindow = nullptr;
    SetApplicationErrorHandler({});
    UninstallContainerPasswordDialog();
}

QLabel* MainWindow::requestInfoLink() const {
    return requestTab_->informationLink();
}

QLabel* MainWindow::receptionInfoLink() const {
    return receptionTab_->informationLink();
}

void MainWindow::setShellOpener(ShellOpener opener) {
    ReceptionTab::setShellOpener(std::move(opener));
}

void MainWindow::setBeeper(std::function<void()> beeper) {
    RuleLineEdit::setBeeper(std::move(beeper));
}

// ---- building -------------------------------------------------------------------------------

QWidget* MainWindow::buildBottomStrip(QWidget* content) {
    auto* bottomStrip = new QWidget(content);
    bottomStrip->setMinimumHeight(design::kBottomHeight);
    hintBox_ = Named(new RichTextBox(bottomStrip), "rich", TrQ("Подсказка"));
    hintBox_->setFocusPolicy(Qt::ClickFocus);
    hintBox_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    hintBox_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    hintBox_->setFormattingInset(4, 2);
    // The box takes the strip's height and the width the save button leaves it; its own idea of
    // a good size does not count.
    hintBox_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    hintBox_->setMinimumWidth(design::kHintBoxWidth);
    suppressContextMenu(hintBox_);
    saveButton_ = WithDesignSize(
        Named(new QPushButton(TrQ("Со&хранить"), bottomStrip), "butSave", TrQ("Сохранить"),
              TrQ("Сохраняет настройки прокси, введенные данные сертификата. "
                  "Позволяет продолжить процедуру запроса после, начиная с "
                  "сохраненного.")),
        design::kSaveButtonWidth);
    saveButton_->setProperty(kHintTarget, true);
    connect(saveButton_, &QPushButton::clicked, this,
            [this] { Guarded([this] { onSaveClicked(); }); });

    auto* saveStrip = new QWidget(bottomStrip);
    saveStrip->setMinimumWidth(design::kSaveStripWidth);
    auto* saveLayout = new QHBoxLayout(saveStrip);
    saveLayout->setContentsMargins(16, 0, 15, 0);
    saveLayout->addWidget(saveButton_, 0, Qt::AlignVCenter);
    auto* strip = new QHBoxLayout(bottomStrip);
    strip->setContentsMargins(0, 0, 0, 0);
    strip->setSpacing(0);
    strip->addWidget(hintBox_, 1);
    strip->addWidget(saveStrip);
    return bottomStrip;
}

// The areas stacked top to bottom, each at least as large as designed; the proxy panel takes its
// room only while it is shown. The content takes the size its areas need; the window has a
// dialog frame and takes the content's size, or the work area's where that is smaller, and then
// the content scrolls.
void MainWindow::layOutAreas() {
    tabs_->setMinimumSize(design::kClientWidth, design::kPageControlHeight);
    auto* areas = new QVBoxLayout(content_);
    areas->setContentsMargins(0, 0, 0, 0);
    areas->setSpacing(0);
    areas->setSizeConstraint(QLayout::SetFixedSize);
    areas->addWidget(proxyArea_);
    areas->addWidget(tabs_);
    areas->addWidget(buildBottomStrip(content_));
    content_->installEventFilter(this);

    scroller_ = new ContentScroller(this);
    scroller_->setFrameShape(QFrame::NoFrame);
    scroller_->setFocusPolicy(Qt::NoFocus); // the focus goes to the controls; they scroll in
    scroller_->setWidgetResizable(true);
    scroller_->setWidget(content_);
    // The window's own background shows through: it is painted as one with its areas.
    scroller_->viewport()->setAutoFillBackground(false);
    auto* window = new QVBoxLayout(this);
    window->setContentsMargins(0, 0, 0, 0);
    window->setSizeConstraint(QLayout::SetNoConstraint);
    window->addWidget(scroller_);
}

// The order Tab and Enter follow, each area giving its own part; a ring from "Сохранить" back to
// "Использовать прокси".
void MainWindow::setTabRing() {
    tabRing_ = proxyArea_->tabChain() + QList<QWidget*>{tabs_->tabBar()} + requestTab_->tabChain() +
               receptionTab_->tabChain() + QList<QWidget*>{saveButton_};
    ChainTabOrder(tabRing_);
}

bool MainWindow::focusNextPrevChild(bool next) {
    QWidget* focus = QApplication::focusWidget();
    QWidget* first = tabRing_.first();
    if (next && focus == saveButton_ && first->isEnabled()) {
        first->setFocus(Qt::TabFocusReason);
        return true;
    }
    if (!next && focus == first && saveButton_->isEnabled()) {
        saveButton_->setFocus(Qt::BacktabFocusReason);
        return true;
    }
    return BaseForm::focusNextPrevChild(next);
}

// ---- start and place ------------------------------------------------------------------------

void MainWindow::showEvent(QShowEvent* event) {
    BaseForm::showEvent(event);
    if (deferredInitPosted_)
        return;
    deferredInitPosted_ = true;
    requestTab_->keyboardIndicator()->showActiveLayout(); // the request tab shows with the window
    // The rest of the start runs once the window is on screen.
    QMetaObject::invokeMethod(
        this, [this] { Guarded([this] { deferredInit(); }); }, Qt::QueuedConnection);
}

void MainWindow::deferredInit() {
    // The settings' values are shown in full, even where they break the fields' rules.
    requestTab_->showSaved(LoadSettings());
    proxyArea_->showSettings();
    if (!startAddress_.isEmpty()) {
        tabs_->setCurrentWidget(receptionTab_);
        receptionTab_->refresh(startAddress_);
    }
    // Placed once the proxy panel has taken or given up its room: the size is final now.
    fitToWorkArea();
    centreInWorkArea();
    initialised_ = true;
    if (!startAddress_.isEmpty())
        openOnAddress(std::exchange(startAddress_, QString()));
    emit deferredInitDone();
    showExpiryNoticeOnce();
}

// Certificates near their end are told once a run, after the window has been painted with its
// settings (the start is not held up by reading the certificates) and never from inside a paint.
void MainWindow::showExpiryNoticeOnce() {
    if (!initialised_ || !painted_ || expiryNoticeDone_)
        return;
    expiryNoticeDone_ = true;
    QMetaObject::invokeMethod(
        this, [] { Guarded([] { ShowExpiryNotice(); }); }, Qt::QueuedConnection);
}

void MainWindow::openOnAddress(const QString& email) {
    if (!initialised_) {
        startAddress_ = email;
        return;
    }
    tabs_->setCurrentIndex(1);
    Guarded([this, &email] { receptionTab_->refresh(email); });
}

// Centred in the work area; a window larger than the area keeps its top left corner on it.
void MainWindow::centreInWorkArea() {
    const QScreen* shown = screen();
    if (!shown)
        return;
    const QRect area = shown->availableGeometry();
    const QSize frame = frameGeometry().size();
    move(area.left() + std::max(0, (area.width() - frame.width()) / 2),
         area.top() + std::max(0, (area.height() - frame.height()) / 2));
}

// The window takes the content's size where the work area has room for it; otherwise it takes
// what the area has, and the content scrolls (with room for the scroll bar it then needs).
void MainWindow::fitToWorkArea() {
    content_->layout()->activate();
    scroller_->updateGeometry(); // the window's own size hint follows the content's
    const QSize wanted = scroller_->sizeHint();
    QSize room = wanted;
    if (const QScreen* shown = screen()) {
        const QSize frame = isVisible() ? frameGeometry().size() - size() : QSize(0, 0);
        room = shown->availableGeometry().size() - frame;
    }
    QSize fitted = wanted.boundedTo(room);
    const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, scroller_);
    if (fitted.height() < wanted.height())
        fitted.setWidth(std::min(room.width(), wanted.width() + bar));
    if (fitted.width() < wanted.width())
        fitted.setHeight(std::min(room.height(), fitted.height() + bar));
    setFixedSize(fitted);
    if (initialised_)
        keepInsideWorkArea();
}

// A window that grew past the work area's edge is moved back onto it (where the platform lets a
// program place its windows).
void MainWindow::keepInsideWorkArea() {
    const QScreen* shown = screen();
    if (!shown || !isVisible())
        return;
    const QRect area = shown->availableGeometry();
    const QRect frame = frameGeometry();
    QPoint corner = frame.topLeft();
    corner.setX(std::max(area.left(), std::min(corner.x(), area.right() + 1 - frame.width())));
    corner.setY(std::max(area.top(), std::min(corner.y(), area.bottom() + 1 - frame.height())));
    if (corner != frame.topLeft())
        move(corner);
}

// ---- tabs, save, help and hints -------------------------------------------------------------

void MainWindow::onTabShown(int index) {
    if (index == 0) {
        requestTab_->keyboardIndicator()->showActiveLayout();
        return;
    }
    Guarded([this] { receptionTab_->refresh(requestTab_->typedEmail()); });
}

void MainWindow::onSaveClicked() {
    WaitCursor wait;
    SaveSettings(requestTab_->toSave());
    QThread::msleep(100); // the hourglass stays long enough to be seen
}

void MainWindow::showInformationOfTab() {
    if (tabs_->currentIndex() == 0)
        requestTab_->showInformation();
    else
        receptionTab_->showInformation();
}

void MainWindow::showHelpForFocus() {
    helpControl_ = nullptr;
    for (QWidget* control = QApplication::focusWidget(); control && control != this;
         control = control->parentWidget()) {
        if (const int context = control->property(kHelpContext).toInt(); context != 0) {
            helpControl_ = control;
            ShowHelpInfo(context, nullptr);
            return;
        }
    }
}

void MainWindow::onControlEntered(QWidget* control) {
    enteredControl_ = control;
    ShowHelpInfo(control->property(kHelpContext).toInt(), hintBox_, S(control->toolTip()));
}

void MainWindow::onControlLeft() {
    enteredControl_ = nullptr;
    ShowHelpInfo(kHelpEmpty, hintBox_);
}

void MainWindow::showHintOf(QWidget* underMouse) {
    QString hint;
    for (QWidget* w = underMouse; w && hint.isEmpty() && w != this; w = w->parentWidget())
        hint = w->toolTip().trimmed();
    if (!hint.isEmpty())
        ShowHelpInfo(underMouse->property(kHelpContext).toInt(), hintBox_, S(hint));
    else if (enteredControl_)
        ShowHelpInfo(enteredControl_->property(kHelpContext).toInt(), hintBox_,
                     S(enteredControl_->toolTip()));
    else
        ShowHelpInfo(kHelpEmpty, hintBox_);
}

// ---- keyboard -------------------------------------------------------------------------------

bool MainWindow::previewKeyPress(QKeyEvent* key) {
    const bool arrow = key->key() == Qt::Key_Up || key->key() == Qt::Key_Down;
    QWidget* focus = QApplication::focusWidget();
    if (arrow && !(focus && focus->property(kArrowsChoose).toBool())) {
        if (key->key() == Qt::Key_Up)
            focusPreviousChild();
        else
            focusNextChild();
        return true;
    }
    if (key->key() == Qt::Key_F1) {
        showHelpForFocus();
        return true;
    }
    if (key->key() == Qt::Key_I && key->modifiers() == Qt::ControlModifier) {
        showInformationOfTab();
        return true;
    }
    return BaseForm::previewKeyPress(key);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == content_ && event->type() == QEvent::Resize) {
        // The content takes the size its layout asks (a font, a caption, a panel changed it);
        // the window follows.
        fitToWorkArea();
        return BaseForm::eventFilter(watched, event);
    }
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget && widget->window() == this) {
        switch (event->type()) {
        case QEvent::Paint:
            if (!painted_) {
                painted_ = true; // the window's first paint is under way
                showExpiryNoticeOnce();
            }
            break;
        case QEvent::KeyRelease: {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (IsModifier(key))
                requestTab_->keyboardIndicator()->startRefreshTimer();
            if (widget == proxyArea_->useProxyCheck() &&
                (key == Qt::Key_Right || key == Qt::Key_Down)) {
                focusNextChild();
                return true;
            }
            break;
        }
        case QEvent::FocusIn:
            if (content_->isAncestorOf(widget))
                scroller_->ensureWidgetVisible(widget); // where the content scrolls
            if (widget->property(kHintTarget).toBool())
                onControlEntered(widget);
            else if (widget->parentWidget() &&
                     widget->parentWidget()->property(kHintTarget).toBool())
                onControlEntered(widget->parentWidget()); // the edit of a combo box
            break;
        case QEvent::FocusOut:
            if (widget->property(kHintTarget).toBool() ||
                (widget->parentWidget() && widget->parentWidget()->property(kHintTarget).toBool()))
                onControlLeft();
            break;
        case QEvent::Enter:
            showHintOf(widget);
            break;
        case QEvent::Leave:
            if (widget != this)
                showHintOf(widget->parentWidget());
            break;
        default:
            break;
        }
    }
    return BaseForm::eventFilter(watched, event);
}

MainWindow* TheMainWindow() {
    return theMainWindow;
}

} // namespace cq::ui
