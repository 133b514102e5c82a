#pragma once
// What an exchange with the service needs from the program's set-up, checked before any
// connection is made: the operator's certificate and key (present, readable, of one pair and in
// force), the CA file, the service address. Each finding names the file or setting at fault and
// what to do, so a missing file never surfaces as a network failure.

#include "base/Clock.h"

#include <string>
#include <vector>

namespace cq {

/// One condition of the set-up.
struct SetupFinding {
    std::string name;    ///< fixed English word ("request_certificate", ...)
    std::string title;   ///< what is checked, in Russian
    std::string problem; ///< empty when the condition holds
    std::string remedy;  ///< what to do when it does not
    bool holds() const { return problem.empty(); }
};

/// The operator's certificate, its key, that they belong together and the certificate's
/// validity at `now`, then the CA file, for the settings in force.
std::vector<SetupFinding> OperatorSetupFindings(TimePoint now);

/// The service address `url` that the settings key `settingName` gives.
SetupFinding ServiceAddressFinding(const std::string& url, const std::string& settingName);

/// "Программа не настроена: <problem>. Что сделать: <remedy>."
std::string SetupFailureText(const SetupFinding& finding);

/// Raises Exception of class NotConfigured with SetupFailureText of the first condition of
/// OperatorSetupFindings and (unless `settingName` is empty: an address the user typed)
/// ServiceAddressFinding that does not hold.
void RequireExchangeSetup(const std::string& url, const std::string& settingName);

} // namespace cq
