#include "app/ErrorReport.h"
#include "cli/Commands.h"
#include "cli/Failure.h"
#include "cli/Usage.h"
#include "settings/Settings.h"
#include "transport/HttpsExchange.h"

#include <iostream>

namespace cq::cli {

int CmdGet(const Arguments& given) {
    // A URL after "--" comes with it.
    const Arguments args =
        !given.empty() && given.front() == "--" ? Arguments(given.begin() + 1, given.end()) : given;
    if (args.size() != 1) {
        std::cerr << CommandUsage("get");
        return kExitUsage;
    }
    if (!LoadSettingsForCommand(true))
        return kExitFailed;
    if (const std::optional<int> incomplete = IncompleteSetup(args.front(), {}))
        return *incomplete;
    try {
        const std::string body = HTTPSGet(args.front(), false);
        std::cout.write(body.data(), static_cast<std::streamsize>(body.size()));
        std::cout.flush();
        return kExitOk;
    } catch (const std::exception& error) {
        return Fail(
            error); // a 404 is the service's refusal, a name that resolves not the network's
    }
}

} // namespace cq::cli
