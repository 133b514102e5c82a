#include "base/Dialogs.h"

#include <utility>

namespace cq {
namespace {

class SilentDialogs final : public Dialogs {
public:
    void showError(const std::string&, const std::string&) override {}
    void showWarning(const std::string&, const std::string&) override {}
    void showInfo(const std::string&, const std::string&) override {}
    bool askYesNo(const std::string&, const std::string&) override { return false; }
};

SilentDialogs silentDialogs;
Dialogs* installedDialogs = nullptr;
std::string applicationTitle = kApplicationTitle;

// A caption that is one of the program's texts is shown in the user's language; any other is
// shown as it is.
std::string CaptionOrTitle(const std::string& caption) {
    return caption.empty() ? ApplicationTitle() : Tr(caption);
}

} // namespace

Dialogs* SetDialogs(Dialogs* dialogs) {
    return std::exchange(installedDialogs, dialogs);
}

Dialogs& CurrentDialogs() {
    return installedDialogs ? *installedDialogs : silentDialogs;
}

void SetApplicationTitle(const std::string& title) {
    applicationTitle = title;
}

std::string ApplicationTitle() {
    return Tr(applicationTitle);
}

void ShowErrorBox(const std::string& text, const std::string& caption) {
    CurrentDialogs().showError(text, CaptionOrTitle(caption));
}

void ShowFailureBox(const std::string& text, const std::string& caption, FailureClass failure,
                    const std::string& readable) {
    CurrentDialogs().showFailure(text, CaptionOrTitle(caption), failure,
                                 readable.empty() ? text : readable);
}

void ShowWarningBox(const std::string& text, const std::string& caption) {
    CurrentDialogs().showWarning(text, CaptionOrTitle(caption));
}

void ShowInfoBox(const std::string& text, const std::string& caption) {
    CurrentDialogs().showInfo(text, CaptionOrTitle(caption));
}

bool AskYesNo(const std::string& text, const std::string& caption, DefaultAnswer defaultAnswer) {
    return CurrentDialogs().askYesNoWithDefault(text, CaptionOrTitle(caption), defaultAnswer);
}

} // namespace cq
