#include "ui/CertificateInfoPanel.h"

#include "app/ErrorReport.h"
#include "base/Errors.h"
#include "platform/DesktopOpen.h"
#include "ui/DesktopTask.h"
#include "ui/HelpText.h"
#include "ui/RichText.h"
#include "ui/RichTextBox.h"
#include "ui/UiText.h"

#include <QApplication>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>

namespace cq::ui {
namespace {

// The log's contexts of the panel's failures; the panel's title is the second one translated.
constexpr const char* kHintContext = "Показ хинта из HelpContex";
constexpr const char* kPanelContext = TrMark("Информационная панель");
const QColor kCream(255, 251, 240);

QPointer<CertificateInfoPanel> panel;
QPointer<QWidget> helpOwner;
bool panelPlaced = false;

CertificateInfoPanel::LinkOpener& Opener() {
    static CertificateInfoPanel::LinkOpener opener;
    return opener;
}

// What the desktop says when it cannot open a link; the texts of the shell-open codes.
std::string ShellOpenMessage(int code) {
    try {
        CheckShellExecute(code);
    } catch (const std::exception& error) {
        return error.what();
    }
    return {};
}

// Centred on the main window when first shown, and kept inside the screen's work area: a main
// window near the screen's edge must not push the panel's title bar out of reach.
void PlaceOnce(CertificateInfoPanel& form) {
    if (panelPlaced)
        return;
    panelPlaced = true;
    const QScreen* screen = helpOwner ? helpOwner->screen() : QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect();
    const QRect around = helpOwner ? helpOwner->frameGeometry() : area;
    if (!around.isValid())
        return;
    QRect frame = form.frameGeometry();
    frame.moveCenter(around.center());
    if (area.isValid()) {
        frame.moveRight(std::min(frame.right(), area.right()));
        frame.moveBottom(std::min(frame.bottom(), area.bottom()));
        frame.moveLeft(std::max(frame.left(), area.left()));
        frame.moveTop(std::max(frame.top(), area.top()));
    }
    form.move(frame.topLeft());
}

} // namespace

CertificateInfoPanel::CertificateInfoPanel(QWidget* parent) : BaseForm(parent) {
    // A dialog of the main window: it stays with it (the window manager keeps it above the
    // main window and gives it no taskbar entry of its own).
    setWindowFlags((windowFlags() & ~Qt::WindowType_Mask) | Qt::Dialog);
    setWindowTitle(TrQ(kPanelContext));
    QPalette cream = palette();
    cream.setColor(QPalette::Window, kCream);
    cream.setColor(QPalette::Base, kCream);
    setPalette(cream);
    setAutoFillBackground(true);
    resize(529, 248);

    textBox_ = new RichTextBox(this);
    textBox_->setObjectName(QStringLiteral("richInfo"));
    textBox_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    textBox_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    textBox_->setFormattingInset(8, 5);
    suppressContextMenu(textBox_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(textBox_);
    adjustSizeLimitsToScreen();

    // Panel start: links report their clicks, and web addresses in the text become links.
    textBox_->setAutoUrlDetect(true);
    connect(textBox_, &RichTextBox::linkPressed, this, &CertificateInfoPanel::onLinkPressed);
}

void CertificateInfoPanel::setLinkOpener(LinkOpener opener) {
    Opener() = std::move(opener);
}

void CertificateInfoPanel::changeEvent(QEvent* event) {
    BaseForm::changeEvent(event);
    // Another window of the program became active: the panel steps aside. Switching to
    // another program, or to a message box, leaves it open.
    if (event->type() == QEvent::ActivationChange && !isActiveWindow() && isVisible()) {
        auto* active = qobject_cast<BaseForm*>(QApplication::activeWindow());
        if (active && active != this)
            close();
    }
}

void CertificateInfoPanel::onLinkPressed() {
    const QString text = textBox_->textCursor().selectedText();
    if (text.isEmpty())
        return;
    const std::string target = LinkTarget(text).toStdString();
    const LinkOpener opener = Opener() ? Opener() : LinkOpener(DesktopOpen);
    OpenOffInterfaceThread([target, opener] {
        const int code = opener(target);
        if (code <= 32)
            throw Exception(TrFormat("Ошибка внешнего вызова(%1): %2",
                                     {std::to_string(code), ShellOpenMessage(code)}) +
                            "\r\n" + TrFormat("Адрес: %1", {target}));
    });
}

CertificateInfoPanel* InformationPanel() {
    return panel;
}

void FreeInformationPanel() {
    delete panel;
    panelPlaced = false;
}

void SetHelpOwnerWindow(QWidget* window) {
    helpOwner = window;
}

void ShowHelpInfo(int context, RichTextBox* targetBox, const std::string& hintText) {
    try {
        if (targetBox) {
            FillHelpText(*targetBox, context, hintText);
            return;
        }
        // Owned by the main window: a window of its own, but no taskbar entry of its own.
        if (!panel)
            panel = new CertificateInfoPanel(helpOwner);
        FillHelpText(*panel->textBox(), context, hintText);
        PlaceOnce(*panel);
        panel->show();
        panel->raise();
        panel->activateWindow();
    } catch (const std::exception& error) {
        ReportError(targetBox ? kHintContext : kPanelContext, error);
    }
}

} // namespace cq::ui
