#include "ui/SertInfo.h"

#include "app/ErrorReport.h"
#include "base/Errors.h"
#include "platform/DesktopOpen.h"
#include "ui/DesktopTask.h"
#include "ui/HelpText.h"
#include "ui/RichBox.h"
#include "ui/RichText.h"

#include <QApplication>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>

namespace cq::ui {
namespace {

constexpr const char* kHintContext = "Показ хинта из HelpContex";
constexpr const char* kPanelContext = "Информационная панель";
const QColor kCream(255, 251, 240);

QPointer<TSertInfoForm> panel;
QPointer<QWidget> helpOwner;
bool panelPlaced = false;

TSertInfoForm::LinkOpener& Opener() {
    static TSertInfoForm::LinkOpener opener;
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
void PlaceOnce(TSertInfoForm& form) {
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

TSertInfoForm::TSertInfoForm(QWidget* parent) : TBaseForm(parent) {
    setWindowTitle(QString::fromUtf8(kPanelContext));
    QPalette cream = palette();
    cream.setColor(QPalette::Window, kCream);
    cream.setColor(QPalette::Base, kCream);
    setPalette(cream);
    setAutoFillBackground(true);
    resize(529, 248);

    richInfo_ = new TRichBox(this);
    richInfo_->setObjectName(QStringLiteral("richInfo"));
    richInfo_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    richInfo_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    richInfo_->setFormattingInset(8, 5);
    popMenEmpty(richInfo_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(richInfo_);
    FormCreate();

    // Panel start: links report their clicks, and web addresses in the text become links.
    richInfo_->setAutoUrlDetect(true);
    connect(richInfo_, &TRichBox::linkPressed, this, &TSertInfoForm::richInfoLinkPressed);
}

void TSertInfoForm::setLinkOpener(LinkOpener opener) {
    Opener() = std::move(opener);
}

void TSertInfoForm::changeEvent(QEvent* event) {
    TBaseForm::changeEvent(event);
    // Another window of the program became active: the panel steps aside. Switching to
    // another program, or to a message box, leaves it open.
    if (event->type() == QEvent::ActivationChange && !isActiveWindow() && isVisible()) {
        auto* active = qobject_cast<TBaseForm*>(QApplication::activeWindow());
        if (active && active != this)
            close();
    }
}

void TSertInfoForm::richInfoLinkPressed() {
    const QString text = richInfo_->textCursor().selectedText();
    if (text.isEmpty())
        return;
    const std::string target = LinkTarget(text).toStdString();
    const LinkOpener opener = Opener() ? Opener() : LinkOpener(DesktopOpen);
    OpenOffInterfaceThread([target, opener] {
        const int code = opener(target);
        if (code <= 32)
            throw Exception("Ошибка внешнего вызова(" + std::to_string(code) +
                            "): " + ShellOpenMessage(code));
    });
}

TSertInfoForm* SertInfoForm() {
    return panel;
}

void FreeSertInfoForm() {
    delete panel;
    panelPlaced = false;
}

void SetHelpOwnerWindow(QWidget* window) {
    helpOwner = window;
}

void ShowHelpInfo(int context, TRichBox* targetBox, const std::string& hintText) {
    try {
        if (targetBox) {
            FillHelpText(*targetBox, context, hintText);
            return;
        }
        // Owned by the main window: a window of its own, but no taskbar entry of its own.
        if (!panel)
            panel = new TSertInfoForm(helpOwner);
        FillHelpText(*panel->richInfo(), context, hintText);
        PlaceOnce(*panel);
        panel->show();
        panel->raise();
        panel->activateWindow();
    } catch (const std::exception& error) {
        ReportError(targetBox ? kHintContext : kPanelContext, error);
    }
}

} // namespace cq::ui
