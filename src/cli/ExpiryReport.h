#pragma once
// What `list` and `report` tell of each address: the folder state, the certificate's end and the
// days left, the renewal state, as a tab-separated line or a JSON entry; and the status that
// says whether any certificate is within the warning period.

#include "certs/AddressOverview.h"
#include "cli/Commands.h"
#include "cli/JsonOutput.h"

#include <optional>
#include <string>
#include <vector>

namespace cq::cli {

/// The warning period in days: --warn-days when given, otherwise WarnDays of the settings in
/// force. Raises UsageError for a value that is not a whole number of days from 0 to 36500.
int WarnDaysOption(const Arguments& args);

/// The warning period of `command` in `warnDays`; for a refused --warn-days the status to end
/// with, after the reason and the command's usage on standard error.
std::optional<int> RefusedWarnDays(const Arguments& args, const char* command, int& warnDays);

/// "address<TAB>state", then for a readable certificate "<TAB>до DATE UTC<TAB>days left", then
/// "<TAB>продление: pending|issued" while a renewal is under way or done, then any problem.
std::string OverviewLine(const AddressOverview& overview);

/// The same as a JSON object: email, state, not_after, days_left, expired, renewal, problem.
Json OverviewJson(const AddressOverview& overview);

/// kExitExpiring when a certificate of `overviews` is within `warnDays` days of its end or past
/// it, kExitOk otherwise.
int ExpiryStatus(const std::vector<AddressOverview>& overviews, int warnDays);

} // namespace cq::cli
