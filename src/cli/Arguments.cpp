#include "cli/Commands.h"

#include "base/StringUtil.h"
#include "base/Translate.h"
#include "certs/InputRules.h"
#include "certs/ServiceSetup.h"
#include "cli/Failure.h"
#include "cli/Usage.h"
#include "settings/Settings.h"
#include "transport/ProxyDiscovery.h"

#include <algorithm>
#include <iostream>
#include <optional>

namespace cq::cli {

bool LoadSettingsForCommand(bool reachesService) {
    bool loaded = false;
    LoadSettings(&loaded);
    if (loaded && reachesService)
        TakeSystemProxyUnlessFromIni();
    return loaded;
}

bool AddressUsable(const std::string& email) {
    const std::optional<std::string> refusal = AddressRefusal(email);
    if (refusal)
        Fail(FailureClass::BadInput, *refusal);
    return !refusal;
}

std::optional<int> RefusedAddress(const Arguments& args, const char* command, bool reachesService,
                                  std::string& email) {
    email = Trim(OptionValue(args, "--email"));
    if (email.empty()) {
        const int status =
            Fail(FailureClass::BadInput,
                 TrFormat("Не указан адрес: команде %1 нужен параметр --email АДРЕС.", {command}));
        std::cerr << CommandUsage(command);
        return status;
    }
    if (!AddressUsable(email))
        return kExitUsage;
    if (!LoadSettingsForCommand(reachesService))
        return kExitFailed;
    return std::nullopt;
}

std::optional<int> IncompleteSetup(const std::string& url, const std::string& settingName) {
    try {
        RequireExchangeSetup(url, settingName);
        return std::nullopt;
    } catch (const std::exception& error) {
        return Fail(error);
    }
}

bool HasFlag(const Arguments& args, const std::string& flag) {
    return std::find(args.begin(), args.end(), flag) != args.end();
}

std::string OptionValue(const Arguments& args, const std::string& option, bool* found) {
    const auto it = std::find(args.begin(), args.end(), option);
    const bool present = it != args.end() && it + 1 != args.end();
    if (found)
        *found = present;
    return present ? *(it + 1) : std::string();
}

} // namespace cq::cli
