#include "cli/ProxyReport.h"

#include "base/IniFile.h"
#include "base/ProgramInfo.h"
#include "base/StringUtil.h"
#include "settings/Settings.h"
#include "transport/ProxyDiscovery.h"

namespace cq::cli {
namespace {

/// Which settings file the [Proxy] section in force is read from.
std::string SettingsFileSource() {
    const std::string base = ProgramFolder() + kSettingsFileName;
    try {
        const std::string path = FindSettingsFile(false);
        if (path != base && !IniFile::Load(base).Keys("Proxy").empty())
            return "administrator-file:" + base;
        return "settings-file:" + path;
    } catch (const std::exception&) {
        return "settings-file:" + base;
    }
}

} // namespace

ProxyInForce CurrentProxy() {
    const SettingsValues& values = Settings();
    ProxyInForce proxy;
    if (values.ProxyFromIni) {
        proxy.source = SettingsFileSource();
        proxy.direct = !values.ProxyUse || Trim(values.ProxyServer).empty();
        if (!proxy.direct)
            proxy.address = values.ProxyServer + ":" + values.ProxyPort;
        return proxy;
    }
    const IEProxy system = GetIEProxy("https");
    proxy.direct = !system.useProxy || system.server.empty();
    if (proxy.direct) {
        proxy.source = "none";
        return proxy;
    }
    proxy.address = system.server + ":" + system.port;
    proxy.source = "environment:" + system.source;
    proxy.bypass = system.bypass;
    return proxy;
}

} // namespace cq::cli
