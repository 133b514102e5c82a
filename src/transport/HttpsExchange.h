#pragma once
// One HTTPS GET to the certification service through the connection component. The exchange
// takes everything it uses as parameters; HTTPSGet and ApplyRequestCertificate read them from
// the application object and the settings in force.

#include "base/SecretBytes.h"
#include "transport/Connection.h"

#include <cstdint>
#include <string>

namespace cq {

/// Everything one exchange uses besides its URL.
struct ExchangeOptions {
    int32_t connection = 0;      ///< handle from CreateConn
    std::string certificateFile; ///< the program's client certificate (need not exist)
    std::string keyFile;         ///< its key
    SecretBytes keyPassword;     ///< the key's password, unescaped
    std::string caFile;          ///< extra trusted CA file; empty for none
    ProxySetting proxy;
    bool acceptCompression = true;
    bool logCopy = false; ///< copy the request and the response to the log
};

/// The options of the settings in force: the application object's connection, ProgramFolder +
/// RequestCertificate and RequestKey, CaFile relative to ProgramFolder unless absolute, the
/// proxy values and AcceptCompression. Raises Exception when no connection is open.
ExchangeOptions ExchangeOptionsFromSettings(bool logCopy);

/// Sends `url` (escaped here) with `options` and returns the unpacked body. Raises as HTTPSGet.
std::string HttpsGetWithOptions(const std::string& url, const ExchangeOptions& options);

/// Hands the client certificate, its key and the trusted CA file of `options` to the connection.
void ApplyCertificate(const ExchangeOptions& options);

/// Sends `url` (escaped here) and returns the unpacked body. With logCopy the request and the
/// response are copied to the log. Raises EIdHTTPProtocolException, EZDecompressionError or
/// Exception.
std::string HTTPSGet(const std::string& url, bool logCopy);

/// Hands the program's client certificate and key (ProgramFolder + RequestCertificate and
/// RequestKey) to the connection, and the trusted CA file (CaFile, relative to ProgramFolder
/// unless absolute; none when empty). Neither file has to exist.
void ApplyRequestCertificate();

/// The body of a CommandGet result: raises EIdHTTPProtocolException when the protocol error
/// text is set (message: the error message), else Exception when the error message is set;
/// unpacks a body that begins with the gzip magic bytes.
std::string BodyFromCommandResult(const GetResult& result);

/// The proxy port text as a number: plain decimal digits (blanks around them allowed) from 0 to
/// 65535; anything else gives 0.
int32_t ProxyPortNumber(const std::string& text);

} // namespace cq
