#include "app/ErrorReport.h"
#include "cli/Commands.h"
#include "cli/Usage.h"
#include "settings/Settings.h"
#include "transport/HttpsExchange.h"

#include <iostream>

namespace cq::cli {

int CmdGet(const Arguments& args) {
    if (args.size() != 1) {
        std::cerr << CommandUsage("get");
        return kExitUsage;
    }
    if (!LoadSettingsForCommand(true))
        return kExitFailed;
    try {
        const std::string body = HTTPSGet(args.front(), false);
        std::cout.write(body.data(), static_cast<std::streamsize>(body.size()));
        std::cout.flush();
        return kExitOk;
    } catch (const std::exception& error) {
        std::cerr << DescribeError(error) << "\n";
        return kExitFailed;
    }
}

} // namespace cq::cli
