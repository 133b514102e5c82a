#include "base/StringUtil.h"
#include "cli/Commands.h"
#include "cli/ProxyReport.h"
#include "settings/CertFolders.h"
#include "settings/EmailList.h"
#include "settings/Settings.h"

#include <iostream>

namespace cq::cli {
namespace {

void PrintValue(const char* name, const std::string& value) {
    std::cout << name << "=" << value << "\n";
}

void PrintValue(const char* name, bool value) {
    PrintValue(name, std::string(value ? "1" : "0"));
}

} // namespace

// Shows the settings in use, one "Name=value" line each; passwords are never shown. The e-mail
// list is one line, the addresses joined by "|" as the settings file keeps them.
int CmdSettings(const Arguments&) {
    bool loaded = false;
    LoadSettings(&loaded);
    const SettingsValues& values = Settings();
    std::string settingsFile;
    try {
        settingsFile = FindSettingsFileForReading();
    } catch (const std::exception&) {
        // LoadSettings has already reported why the file cannot be found.
    }
    PrintValue("SettingsFile", settingsFile);
    PrintValue("DataFolder", values.DataFolder);
    PrintValue("UrlRequestRSACertificate", values.UrlRequestRSACertificate);
    PrintValue("UrlReceiveRSACertificate", values.UrlReceiveRSACertificate);
    PrintValue("UrlRequestGostCertificate", values.UrlRequestGostCertificate);
    PrintValue("UrlReceiveGostCertificate", values.UrlReceiveGostCertificate);
    PrintValue("RequestCertificate", values.RequestCertificate);
    PrintValue("RequestKey", values.RequestKey);
    PrintValue("ProxyFromIni", values.ProxyFromIni);
    PrintValue("ProxyUse", values.ProxyUse);
    PrintValue("ProxyServer", values.ProxyServer);
    PrintValue("ProxyPort", values.ProxyPort);
    PrintValue("ProxyUserName", values.ProxyUserName);
    // What the service commands actually go through, and where that comes from.
    const ProxyInForce proxy = CurrentProxy();
    PrintValue("ProxyInForce", proxy.direct ? std::string("direct") : proxy.address);
    PrintValue("ProxySource", proxy.source);
    PrintValue("ProxyBypass", proxy.bypass);
    PrintValue("WarnDays", std::to_string(values.WarnDays));
    PrintValue("EmailList", loaded ? ReplaceText(ReadEmailList(), "\r\n", "|") : std::string());
    return loaded ? kExitOk : kExitFailed;
}

} // namespace cq::cli
