#pragma once
// The proxy the service commands go through, and where it came from, as settings and doctor
// show it.

#include <string>

namespace cq::cli {

struct ProxyInForce {
    bool direct = true;
    std::string address; ///< "host:port" when not direct
    /// "administrator-file:PATH", "settings-file:PATH", "environment:VARIABLE" or "none"
    std::string source;
    std::string bypass; ///< the hosts reached directly (no_proxy), for a proxy from the environment
};

/// For the settings loaded: the settings file that has a [Proxy] section rules (the
/// administrator's over the user's), else the environment's proxy variables.
ProxyInForce CurrentProxy();

} // namespace cq::cli
