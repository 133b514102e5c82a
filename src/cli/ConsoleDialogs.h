#pragma once

#include "base/Dialogs.h"

#include <string>

namespace cq::cli {

/// Message boxes on a console: errors and warnings to stderr, information to stdout, each as
/// "caption: text". A question is answered Yes by --yes, by the user on a terminal (an empty
/// answer, Enter alone, is the question's default, which the prompt names), else No.
/// Quiet (also under --json, whose standard output is the document alone) drops the information
/// lines. The first error shown is kept with its failure class: the exit status and the --json
/// error document are made from them.
class ConsoleDialogs final : public Dialogs {
public:
    explicit ConsoleDialogs(bool assumeYes) : assumeYes_(assumeYes) {}
    void setQuiet(bool quiet) { quiet_ = quiet; }
    const std::string& firstErrorText() const { return firstErrorText_; }
    const std::string& firstErrorCaption() const { return firstErrorCaption_; }
    /// The class of the first error (FailureClass::Other for one shown without a class, or none).
    FailureClass firstErrorClass() const { return firstErrorClass_; }
    /// The first error as one plain sentence, or when there was none the first warning's.
    const std::string& firstMessage() const {
        return firstErrorText_.empty() ? firstWarningText_ : firstErrorReadable_;
    }
    /// The information lines shown so far (also while quiet), joined by LF.
    const std::string& infoShown() const { return infoShown_; }
    void showError(const std::string& text, const std::string& caption) override;
    void showFailure(const std::string& text, const std::string& caption, FailureClass failure,
                     const std::string& readable) override;
    void showWarning(const std::string& text, const std::string& caption) override;
    void showInfo(const std::string& text, const std::string& caption) override;
    /// A question without a default of its own: Enter answers No.
    bool askYesNo(const std::string& text, const std::string& caption) override;
    bool askYesNoWithDefault(const std::string& text, const std::string& caption,
                             DefaultAnswer defaultAnswer) override;

private:
    void keepError(const std::string& text, const std::string& caption, FailureClass failure,
                   const std::string& readable);

    bool assumeYes_;
    bool quiet_ = false;
    std::string firstErrorText_;
    std::string firstErrorCaption_;
    FailureClass firstErrorClass_ = FailureClass::Other;
    std::string firstErrorReadable_;
    std::string firstWarningText_;
    std::string infoShown_;
};

} // namespace cq::cli
