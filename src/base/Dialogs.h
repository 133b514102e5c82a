#pragma once
// The only way the core reaches the user: message boxes behind a small interface that the window,
// the command-line tool and the tests install.

#include <string>

namespace cq {

class Dialogs {
public:
    virtual ~Dialogs() = default;
    virtual void showError(const std::string& text, const std::string& caption) = 0;
    virtual void showWarning(const std::string& text, const std::string& caption) = 0;
    virtual void showInfo(const std::string& text, const std::string& caption) = 0;
    /// True when the user answered Yes.
    virtual bool askYesNo(const std::string& text, const std::string& caption) = 0;
};

/// Installs the dialogs of the running front end; nullptr restores the silent default that
/// shows nothing and answers No.
void SetDialogs(Dialogs* dialogs);
Dialogs& CurrentDialogs();

/// The caption of every box shown without a caption of its own.
void SetApplicationTitle(const std::string& title);
const std::string& ApplicationTitle();

inline constexpr const char* kApplicationTitle = "QUORIX cert - запрос/получение сертификатов";

void ShowErrorBox(const std::string& text, const std::string& caption = {});
void ShowWarningBox(const std::string& text, const std::string& caption = {});
void ShowInfoBox(const std::string& text, const std::string& caption = {});
bool AskYesNo(const std::string& text, const std::string& caption = {});

} // namespace cq
