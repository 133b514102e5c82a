#pragma once
// Where the proxy comes from when the settings file names none: the workstation's system proxy
// setting, which on this platform is read from the environment (https_proxy, http_proxy and
// their upper-case forms).

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
};

/// Reads the system proxy setting; nullopt when it cannot be read.
using ProxyInfoSource = std::function<std::optional<ProxyInfo>()>;

/// Looks up an environment variable; nullptr when it is not set.
using EnvironmentLookup = std::function<const char*(const char*)>;

/// The proxy a request uses.
struct IEProxy {
    bool useProxy = false;
    std::string server;
    std::string port;
};

/// The proxy for `protocolName` ("https") from the system proxy setting: none unless a named
/// proxy is configured; otherwise the list's only entry, or the value of the entry named after
/// the protocol, split at its first ":" into server and port.
IEProxy GetIEProxy(const std::string& protocolName);
IEProxy GetIEProxy(const std::string& protocolName, const ProxyInfoSource& source);

/// The proxy source of a start: when the settings file named no proxy (ProxyFromIni false), the
/// system setting for "https" becomes ProxyUse, ProxyServer and ProxyPort, with empty user name
/// and password. Returns true when the system setting was taken.
bool TakeSystemProxyUnlessFromIni();
bool TakeSystemProxyUnlessFromIni(const ProxyInfoSource& source);

/// The selection and splitting rules alone, for a record already read.
IEProxy ProxyFromInfo(const ProxyInfo& info, const std::string& protocolName);

/// The environment's proxy as a proxy information record. Each variable (lower-case name first)
/// is reduced to host:port (scheme, credentials and path dropped; port 1080 when none is given).
/// One proxy for every protocol (only one variable set, or both naming the same proxy) gives a
/// list of that one entry; two different proxies give "http=host:port https=host:port". Nothing
/// set: a direct connection.
ProxyInfo ProxyInfoFromEnvironment(const EnvironmentLookup& lookup);

} // namespace cq
