#pragma once
// The information panel: a small window with one help text, opened by F1 or an "Информация"
// label. One panel exists at most; it is made on first use and kept to the end of the run.

#include "ui/BaseForm.h"

#include <functional>
#include <string>

namespace cq::ui {

class RichTextBox;

class CertificateInfoPanel : public BaseForm {
    Q_OBJECT
public:
    explicit CertificateInfoPanel(QWidget* parent = nullptr);

    RichTextBox* textBox() const { return textBox_; }

    /// Hands a link's text to the desktop and returns a shell-open code (above 32: opened).
    using LinkOpener = std::function<int(const std::string& target)>;
    /// Replaces the desktop opener (tests); an empty function restores it.
    static void setLinkOpener(LinkOpener opener);

protected:
    void changeEvent(QEvent* event) override;

private:
    void onLinkPressed();

    RichTextBox* textBox_ = nullptr;
};

/// The panel, or nullptr before its first use.
CertificateInfoPanel* InformationPanel();

/// Destroys the panel (the end of the run).
void FreeInformationPanel();

/// Shows the text of a help context: in `targetBox` when one is given, else in the information
/// panel, which is made when missing and then shown (not when filling failed). Errors are
/// reported under "Показ хинта из HelpContex" with a box, else under "Информационная панель".
void ShowHelpInfo(int context, RichTextBox* targetBox, const std::string& hintText = {});

/// The window the panel is centred on when first shown (the main window).
void SetHelpOwnerWindow(QWidget* window);

} // namespace cq::ui
