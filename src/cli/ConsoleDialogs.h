#pragma once

#include "base/Dialogs.h"

namespace cq::cli {

/// Message boxes on a console: errors and warnings to stderr, information to stdout, each as
/// "caption: text". A question is answered Yes by --yes, by the user on a terminal (an empty
/// answer, Enter alone, is the question's default, which the prompt names), else No.
class ConsoleDialogs final : public Dialogs {
public:
    explicit ConsoleDialogs(bool assumeYes) : assumeYes_(assumeYes) {}
    void showError(const std::string& text, const std::string& caption) override;
    void showWarning(const std::string& text, const std::string& caption) override;
    void showInfo(const std::string& text, const std::string& caption) override;
    /// A question without a default of its own: Enter answers No.
    bool askYesNo(const std::string& text, const std::string& caption) override;
    bool askYesNoWithDefault(const std::string& text, const std::string& caption,
                             DefaultAnswer defaultAnswer) override;

private:
    bool assumeYes_;
};

} // namespace cq::cli
