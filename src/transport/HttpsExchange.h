#pragma once
// One HTTPS GET to the certification service through the connection component, with the
// settings in force (request certificate, proxy, accepted compression).

#include <string>

namespace cq {

/// Sends `url` (escaped here) and returns the unpacked body. With logCopy the request and the
/// response are copied to the log. Raises EIdHTTPProtocolException, EZDecompressionError or
/// Exception.
std::string HTTPSGet(const std::string& url, bool logCopy);

} // namespace cq
