#pragma once
// The operator's client certificate and key the connection to the service presents: whether
// they open and belong together, asked before a transfer fails on them with a TLS alert.

#include <string>

namespace cq {

/// Empty when `keyFile` opens with `password` and holds the key of the certificate in
/// `certFile`; otherwise what is wrong with them, in Russian.
std::string ClientPairProblem(const std::string& certFile, const std::string& keyFile,
                              const std::string& password);

} // namespace cq
