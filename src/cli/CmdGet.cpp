#include "app/ErrorReport.h"
#include "cli/Commands.h"
#include "log/Identity.h"
#include "settings/IniFile.h"
#include "settings/SettingsValues.h"
#include "transport/HttpsExchange.h"

#include <iostream>

namespace cq::cli {
namespace {

// TEMPORARY until the settings load is merged: reads the few values one GET needs straight from
// CertQuorix.ini (the key password stays at the built-in default).
void LoadGetSettings() {
    const IniFile ini = IniFile::Load(ProgramFolder() + "CertQuorix.ini");
    SettingsValues& settings = Settings();
    auto text = [&](const char* section, const char* key, const char* defaultValue) {
        const std::string value = ini.ReadString(section, key);
        return value.empty() ? std::string(defaultValue) : value;
    };
    settings.RequestCertificate = text("HTTPS", "RequestCertificate", "Request.cer");
    settings.RequestKey = text("HTTPS", "RequestKey", "Request.key");
    settings.CaFile = text("HTTPS", "CaFile", "");
    settings.RequestPassword = "Hrkwp(3mzqtbv";
    if (!ini.Keys("Proxy").empty()) {
        settings.ProxyFromIni = true;
        settings.ProxyUse = ini.ReadBool("Proxy", "Use", false);
        settings.ProxyServer = ini.ReadString("Proxy", "Server");
        settings.ProxyPort = ini.ReadString("Proxy", "Port");
        settings.ProxyUserName = ini.ReadString("Proxy", "UserName");
    }
}

} // namespace

int CmdGet(const Arguments& args) {
    if (args.size() != 1) {
        std::cerr << "Использование: certquorix-cli get URL\n";
        return kExitUsage;
    }
    try {
        LoadGetSettings();
        const std::string body = HTTPSGet(args.front(), false);
        std::cout.write(body.data(), static_cast<std::streamsize>(body.size()));
        std::cout.flush();
        return kExitOk;
    } catch (const std::exception& error) {
        std::cerr << DescribeError(error) << "\n";
        return kExitFailed;
    }
}

} // namespace cq::cli
