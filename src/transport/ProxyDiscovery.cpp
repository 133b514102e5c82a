#include "transport/ProxyDiscovery.h"

#include "base/StringUtil.h"
#include "settings/SettingsValues.h"

#include <vector>

namespace cq {
namespace {

// The list's entries: every space separates two entries.
std::vector<std::string> ProxyEntries(const std::string& proxyList) {
    std::vector<std::string> entries = Split(proxyList, " ");
    if (entries.size() > 1 && entries.back().empty())
        entries.pop_back(); // a separator at the very end adds no empty entry
    return entries;
}

std::string EntryForProtocol(const std::vector<std::string>& entries,
                             const std::string& protocolName) {
    if (entries.size() == 1)
        return entries.front();
    for (const std::string& entry : entries) {
        const size_t equals = entry.find('=');
        if (equals != std::string::npos && SameText(entry.substr(0, equals), protocolName))
            return entry.substr(equals + 1);
    }
    return {};
}

ProxyInfoSource PlatformSource() {
    return [] {
        return ReadSystemProxyInfo();
    };
}

} // namespace

IEProxy ProxyFromInfo(const ProxyInfo& info, const std::string& protocolName) {
    IEProxy proxy;
    if (info.accessType != kAccessTypeProxy)
        return proxy;
    proxy.useProxy = true;
    proxy.bypass = info.proxyBypass;
    proxy.source = info.sourceVariable;
    const std::string value = EntryForProtocol(ProxyEntries(info.proxyList), protocolName);
    // A bracketed IPv6 host holds colons of its own: the split is at the first ":" after it.
    const size_t hostEnd = StartsWith(value, "[") ? value.find(']') : 0;
    const size_t colon = hostEnd == std::string::npos ? hostEnd : value.find(':', hostEnd);
    if (colon != std::string::npos) {
        proxy.server = value.substr(0, colon);
        proxy.port = value.substr(colon + 1);
    }
    return proxy;
}

IEProxy GetIEProxy(const std::string& protocolName, const ProxyInfoSource& source) {
    const std::optional<ProxyInfo> info = source();
    if (!info)
        return {};
    return ProxyFromInfo(*info, protocolName);
}

IEProxy GetIEProxy(const std::string& protocolName) {
    return GetIEProxy(protocolName, PlatformSource());
}

bool TakeSystemProxyUnlessFromIni(const ProxyInfoSource& source) {
    SettingsValues& settings = Settings();
    if (settings.ProxyFromIni)
        return false;
    const IEProxy proxy = GetIEProxy("https", source);
    settings.ProxyUse = proxy.useProxy;
    settings.ProxyServer = proxy.server;
    settings.ProxyPort = proxy.port;
    settings.ProxyBypass = proxy.bypass;
    settings.ProxySource = proxy.source;
    settings.ProxyUserName.clear();
    settings.ProxyPassword.clear();
    return true;
}

bool TakeSystemProxyUnlessFromIni() {
    return TakeSystemProxyUnlessFromIni(PlatformSource());
}

} // namespace cq
