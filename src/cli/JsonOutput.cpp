#include "cli/JsonOutput.h"

#include "base/Translate.h"
#include "cli/Commands.h"
#include "cli/Failure.h"

#include <cstdio>
#include <ctime>
#include <iostream>

namespace cq::cli {

namespace {
bool printed = false;
} // namespace

bool JsonPrinted() {
    return printed;
}

void PrintJson(const Json& document) {
    printed = true;
    std::cout << document.dump(2, ' ', false, Json::error_handler_t::replace) << std::endl;
}

std::string IsoUtc(TimePoint moment) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(moment);
    std::tm parts{};
    ::gmtime_r(&seconds, &parts);
    char text[32] = {};
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return text;
}

std::string IsoUtc(const CertificateDateTime& moment) {
    char text[32] = {};
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", moment.year, moment.month,
                  moment.day, moment.hour, moment.minute, moment.second);
    return text;
}

std::string ExitStatusWord(int status) {
    switch (status) {
    case kExitOk:
        return "ok";
    case kExitUsage:
        return "usage";
    case kExitNotIssued:
        return "not_issued";
    case kExitExpired:
        return "expired";
    case kExitMismatch:
        return "mismatch";
    case kExitWrongPassword:
        return "wrong_password";
    case kExitNetwork:
        return "network";
    case kExitRefused:
        return "refused";
    case kExitSetupIncomplete:
        return "setup_incomplete";
    case kExitBusy:
        return "busy";
    case kExitExpiring:
        return "expiring";
    default:
        return "failed";
    }
}

Json ErrorDocument(int status, FailureClass failure, const std::string& message) {
    const std::string text = message.empty() ? Tr("Команда не выполнена.") : message;
    return {{"error",
             {{"code", ExitStatusWord(status)},
              {"class", FailureWord(failure)},
              {"exit_status", status},
              {"message", text}}}};
}

} // namespace cq::cli
