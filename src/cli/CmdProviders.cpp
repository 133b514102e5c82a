// certquorix-cli providers: the cryptographic providers a GOST request can be made in, in the
// order the request tab lists them.

#include "certs/GostRequest.h"
#include "cli/Commands.h"
#include "cli/MissingEngine.h"
#include "cli/Usage.h"

#include <iostream>

namespace cq::cli {

int CmdProviders(const Arguments& args) {
    if (!args.empty()) {
        std::cerr << CommandUsage("providers");
        return kExitUsage;
    }
    try {
        for (const ProviderEntry& entry : QualifyingProviders())
            std::cout << entry.Name << "\t" << entry.Info.ProvType << "\n";
        return kExitOk;
    } catch (const std::exception& error) {
        std::cerr << error.what() << "\n";
        TellMissingEngine();
        return kExitFailed;
    }
}

} // namespace cq::cli
