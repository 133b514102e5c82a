// certquorix-cli providers: the cryptographic providers a GOST request can be made in, in the
// order the request tab lists them.

#include "base/Dialogs.h"
#include "certs/GostRequest.h"
#include "cli/Commands.h"
#include "cli/JsonOutput.h"
#include "cli/MissingEngine.h"
#include "cli/Usage.h"

#include <iostream>

namespace cq::cli {

int CmdProviders(const Arguments& args) {
    if (!args.empty() && !HasFlag(args, "--json")) {
        std::cerr << CommandUsage("providers");
        return kExitUsage;
    }
    const bool json = HasFlag(args, "--json");
    try {
        Json list = Json::array();
        // A faulty module costs only its own tokens: the others are listed, and the user is
        // told which module was left out and why.
        const std::vector<ProviderEntry> entries = QualifyingProvidersTellingFaults(
            [](const std::string& problem) { ShowWarningBox(problem); });
        for (const ProviderEntry& entry : entries) {
            if (json)
                list.push_back({{"name", entry.Name}, {"type", entry.Info.ProvType}});
            else
                std::cout << entry.Name << "\t" << entry.Info.ProvType << "\n";
        }
        if (json)
            PrintJson({{"providers", list}});
        return kExitOk;
    } catch (const std::exception& error) {
        ShowErrorBox(error.what());
        TellMissingEngine();
        return kExitFailed;
    }
}

} // namespace cq::cli
