#pragma once
// Where the proxy comes from when the settings file names none: the workstation's system proxy
// setting, and the rules that pick the proxy for one protocol out of it.

#include "platform/SystemProxy.h"

#include <functional>
#include <optional>
#include <string>

namespace cq {

/// Reads the system proxy setting; nullopt when it cannot be read.
using ProxyInfoSource = std::function<std::optional<ProxyInfo>()>;

/// The proxy a request uses.
struct IEProxy {
    bool useProxy = false;
    std::string server;
    std::string port;
    std::string bypass; ///< hosts reached without the proxy (curl's no_proxy rules)
    std::string source; ///< the variable the proxy came from
};

/// The proxy for `protocolName` ("https") from the system proxy setting: none unless a named
/// proxy is configured; otherwise the list's only entry, or the value of the entry named after
/// the protocol, split at its first ":" into server and port. A value that starts with a
/// bracketed IPv6 host ("[::1]:3128") keeps the host with its brackets as the server and is
/// split at the first ":" after the "]".
IEProxy GetIEProxy(const std::string& protocolName);
IEProxy GetIEProxy(const std::string& protocolName, const ProxyInfoSource& source);

/// The proxy source of a start: when the settings file named no proxy (ProxyFromIni false), the
/// system setting for "https" becomes ProxyUse, ProxyServer and ProxyPort, with empty user name
/// and password, and its bypass list ProxyBypass. Returns true when the system setting was taken.
bool TakeSystemProxyUnlessFromIni();
bool TakeSystemProxyUnlessFromIni(const ProxyInfoSource& source);

/// The selection and splitting rules alone, for a record already read.
IEProxy ProxyFromInfo(const ProxyInfo& info, const std::string& protocolName);

} // namespace cq
