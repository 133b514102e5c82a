#pragma once
// The only way the core reaches the user: message boxes behind a small interface that the window,
// the command-line tool and the tests install.

#include "base/Errors.h"
#include "base/Translate.h"

#include <string>

namespace cq {

/// The answer a question's default button gives (what Enter chooses).
enum class DefaultAnswer { Yes, No };

class Dialogs {
public:
    virtual ~Dialogs() = default;
    virtual void showError(const std::string& text, const std::string& caption) = 0;
    /// An error box for a failure of a known class; `readable` is the same text as a plain
    /// sentence (no system codes, no line breaks). Front ends that act on the class (the
    /// console's exit status) override it; the others show the box as showError does.
    virtual void showFailure(const std::string& text, const std::string& caption,
                             [[maybe_unused]] FailureClass failure,
                             [[maybe_unused]] const std::string& readable) {
        showError(text, caption);
    }
    virtual void showWarning(const std::string& text, const std::string& caption) = 0;
    virtual void showInfo(const std::string& text, const std::string& caption) = 0;
    /// True when the user answered Yes.
    virtual bool askYesNo(const std::string& text, const std::string& caption) = 0;
    /// The same question with the answer its default button gives. Front ends that show a
    /// default (the window's default button, Enter on a console) override it; the others ask
    /// as askYesNo does.
    virtual bool askYesNoWithDefault(const std::string& text, const std::string& caption,
                                     [[maybe_unused]] DefaultAnswer defaultAnswer) {
        return askYesNo(text, caption);
    }
};

/// Installs the dialogs of the running front end and returns those it replaces; nullptr
/// restores the silent default that shows nothing and answers No.
Dialogs* SetDialogs(Dialogs* dialogs);
Dialogs& CurrentDialogs();

/// The caption of every box shown without a caption of its own, in the user's language.
void SetApplicationTitle(const std::string& title);
std::string ApplicationTitle();

inline constexpr const char* kApplicationTitle =
    TrMark("QUORIX cert - запрос/получение сертификатов");

void ShowErrorBox(const std::string& text, const std::string& caption = {});
/// An error box for a failure of a known class; `readable` defaults to the text itself.
void ShowFailureBox(const std::string& text, const std::string& caption, FailureClass failure,
                    const std::string& readable = {});
void ShowWarningBox(const std::string& text, const std::string& caption = {});
void ShowInfoBox(const std::string& text, const std::string& caption = {});
/// A question with Yes and No; Yes is the default button unless the caller says otherwise, as
/// for every question the program asks (they are all about replacing an older file).
bool AskYesNo(const std::string& text, const std::string& caption = {},
              DefaultAnswer defaultAnswer = DefaultAnswer::Yes);

} // namespace cq
