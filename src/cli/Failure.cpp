#include "cli/Failure.h"

#include "app/ErrorReport.h"
#include "base/Dialogs.h"
#include "certs/Submission.h"
#include "cli/Commands.h"
#include "cli/ConsoleDialogs.h"
#include "transport/Connection.h"

namespace cq::cli {
namespace {

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

bool FromTheService(const std::string& caption) {
    return caption == context::kRequestCertificate || caption == context::kReceiveCertificate;
}

} // namespace

int FailureStatus(const std::string& caption, const std::string& text) {
    if (Has(text, kTransferSetupFailure))
        return kExitSetupIncomplete;
    if (Has(text, kTransferNetworkFailure))
        return kExitNetwork;
    if (Has(text, "Неверный пароль") || Has(text, "неверный пароль"))
        return kExitWrongPassword;
    if (Has(text, "не соответствует"))
        return kExitMismatch;
    // An HTTP error status, or a page without the acceptance mark.
    if (FromTheService(caption) &&
        (Has(text, "Прерванный запрос HTTP (") || Has(text, kWrongAnswerText)))
        return kExitRefused;
    return kExitFailed;
}

int ReportedFailureStatus() {
    const auto* console = dynamic_cast<const ConsoleDialogs*>(&CurrentDialogs());
    return console ? FailureStatus(console->firstErrorCaption(), console->firstErrorText())
                   : kExitFailed;
}

} // namespace cq::cli
