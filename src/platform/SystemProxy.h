#pragma once
// The workstation's system proxy setting. On Linux it is read from the environment
// (https_proxy, http_proxy and their upper-case forms).

#include <functional>
#include <optional>
#include <string>

namespace cq {

/// Access type of a proxy information record: direct connection, or a named proxy.
inline constexpr int kAccessTypeDirect = 1;
inline constexpr int kAccessTypeProxy = 3;

/// The system proxy setting: access type and a proxy list such as
/// "http=host:port https=host:port" (entries separated by spaces).
struct ProxyInfo {
    int accessType = kAccessTypeDirect;
    std::string proxyList;
    /// The hosts reached without the proxy, as curl reads them: names separated by commas, a
    /// name also covering its subdomains, "*" for every host.
    std::string proxyBypass;
    /// The variable the proxy came from ("https_proxy"), empty for a direct connection.
    std::string sourceVariable;
};

/// The system proxy setting of this workstation; nullopt when it cannot be read.
std::optional<ProxyInfo> ReadSystemProxyInfo();

/// Looks up an environment variable; nullptr when it is not set.
using EnvironmentLookup = std::function<const char*(const char*)>;

/// The environment's proxy as a proxy information record. Each variable (lower-case name first)
/// is reduced to host:port (scheme, credentials and path dropped; port 1080 when none is given).
/// One proxy for every protocol (only one variable set, or both naming the same proxy) gives a
/// list of that one entry; two different proxies give "http=host:port https=host:port". Nothing
/// set: a direct connection. The bypass list is no_proxy, else NO_PROXY, as curl takes them.
ProxyInfo ProxyInfoFromEnvironment(const EnvironmentLookup& lookup);

} // namespace cq
