#pragma once
// The --json face of certquorix-cli: one JSON document on standard output, times in ISO 8601
// UTC, states and error codes as fixed English words.

#include "base/Clock.h"
#include "base/Errors.h"
#include "certs/CertificateCheck.h"

#include <nlohmann/json.hpp>

#include <string>

namespace cq::cli {

using Json = nlohmann::ordered_json;

/// Writes the document and a line end to standard output (texts that are no valid UTF-8 have
/// their bad bytes replaced).
void PrintJson(const Json& document);

/// True once PrintJson has written a document in this process.
bool JsonPrinted();

/// "2027-12-10T16:45:12Z".
std::string IsoUtc(TimePoint moment);

/// The same for a moment as a certificate states it (UTC already).
std::string IsoUtc(const CertificateDateTime& moment);

/// The fixed word of an exit status ("wrong_password", "network", ...).
std::string ExitStatusWord(int status);

/// {"error": {"code": word of the status, "class": word of the failure class, "exit_status":
/// status, "message": message}}; the message is the sentence the user reads on stderr, on one
/// line; an empty one becomes "Команда не выполнена.".
Json ErrorDocument(int status, FailureClass failure, const std::string& message);

} // namespace cq::cli
