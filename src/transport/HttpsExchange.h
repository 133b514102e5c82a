#pragma once
// One HTTPS GET to the certification service through the connection component, with the
// settings in force (request certificate, proxy, accepted compression).

#include "transport/Connection.h"

#include <cstdint>
#include <string>

namespace cq {

/// Sends `url` (escaped here) and returns the unpacked body. With logCopy the request and the
/// response are copied to the log. Raises EIdHTTPProtocolException, EZDecompressionError or
/// Exception.
std::string HTTPSGet(const std::string& url, bool logCopy);

/// Hands the program's client certificate and key (ProgramFolder + RequestCertificate and
/// RequestKey) to the connection, and the trusted CA file (CaFile, relative to ProgramFolder
/// unless absolute; none when empty). Neither file has to exist.
void ApplyRequestCertificate();

/// The body of a CommandGet result list: raises EIdHTTPProtocolException when the protocol
/// error text is set (message: the error message), else Exception when the error message is set;
/// unpacks a body that begins with the gzip magic bytes. A list of the wrong shape raises
/// Exception.
std::string BodyFromCommandResult(const VariantList& result);

/// The proxy port text as a number: plain decimal digits (blanks around them allowed) from 0 to
/// 65535; anything else gives 0.
int32_t ProxyPortNumber(const std::string& text);

} // namespace cq
