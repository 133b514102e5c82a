// certquorix-cli doctor: the administrator's check of a set-up, one line per condition with
// OK or the problem, where it is and what to do about it; then, unless --offline, a TLS
// connection with the operator's certificate to each service address. Status 0 only when every
// required condition holds and the service answers; 9 for an incomplete set-up, 7 when the
// service cannot be reached.

#include "app/ErrorReport.h"
#include "base/Errors.h"
#include "base/FileUtil.h"
#include "base/IniFile.h"
#include "base/ProgramInfo.h"
#include "base/StringUtil.h"
#include "base/Translate.h"
#include "certs/ServiceSetup.h"
#include "cli/Commands.h"
#include "cli/Failure.h"
#include "cli/JsonOutput.h"
#include "cli/ProxyReport.h"
#include "provider/GostKey.h"
#include "settings/Settings.h"
#include "transport/Connection.h"
#include "transport/HttpsExchange.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace cq::cli {
namespace {

/// One condition's result: empty problem when it holds.
struct Finding {
    std::string problem;
    std::string remedy;
};

struct Condition {
    std::string name;  ///< fixed English word for --json
    std::string title; ///< what is checked, in the user's language
    bool optional;     ///< a failure is told but does not fail the set-up
    std::function<Finding()> check;
};

Finding Holds() {
    return {};
}

/// The full path of a program found on PATH; empty when none.
std::string OnPath(const std::string& program) {
    const char* variable = std::getenv("PATH");
    const std::string path = variable ? variable : "";
    size_t start = 0;
    while (start <= path.size()) {
        const size_t end = std::min(path.find(':', start), path.size());
        const std::string candidate = path.substr(start, end - start) + "/" + program;
        if (end > start && ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return {};
}

Finding SettingsFile() {
    std::string path;
    try {
        path = FindSettingsFile(false);
    } catch (const std::exception& error) {
        return {error.what(),
                Tr("проверьте файл CertQuorix.ini в папке программы и его ключ inFile")};
    }
    if (FileExists(path) && ::access(path.c_str(), R_OK | W_OK) != 0)
        return {
            TrFormat("файл настроек %1 не доступен этому пользователю для чтения и записи", {path}),
            Tr("дайте пользователю права на файл или направьте его в свой файл (inFile)")};
    // A file not made yet goes into its folder, or the nearest folder above that exists.
    std::string folder = ExtractFilePath(path);
    while (folder.size() > 1 && !DirectoryExists(folder))
        folder = ExtractFilePath(folder.substr(0, folder.size() - 1));
    if (!FileExists(path) && ::access(folder.c_str(), W_OK) != 0)
        return {TrFormat("в папке %1 нельзя создать файл настроек", {folder}),
                Tr("дайте пользователю право записи в папку или направьте его в свой файл "
                   "(inFile)")};
    return Holds();
}

Finding Proxy() {
    const SettingsValues& values = Settings();
    if (!values.ProxyFromIni || !values.ProxyUse)
        return Holds();
    if (Trim(values.ProxyServer).empty())
        return {Tr("прокси включён, но сервер не задан"),
                Tr("задайте Server раздела [Proxy] или Use=0")};
    if (ProxyPortNumber(values.ProxyPort) == 0)
        return {TrFormat("порт прокси \"%1\" не число от 1 до 65535", {values.ProxyPort}),
                Tr("исправьте Port раздела [Proxy]")};
    return Holds();
}

Finding Program(const std::string& name, const std::string& package) {
    if (OnPath(name).empty())
        return {TrFormat("программа %1 не найдена в PATH", {name}),
                TrFormat("установите пакет %1", {package})};
    return Holds();
}

Finding GostEngine() {
    const char* engine = std::getenv(provider::kGostEngineVariable);
    const std::string location = engine && *engine ? engine : provider::kGostEngineId;
    if (!provider::LoadGostEngine(location))
        return {TrFormat("GOST engine \"%1\" не загружается", {location}),
                TrFormat("установите пакет libengine-gost-openssl или исправьте %1",
                         {provider::kGostEngineVariable})};
    return Holds();
}

Finding DataFolder() {
    const std::string folder = UserDataFolder() + "CertQuorix";
    struct stat status {};
    if (::stat(folder.c_str(), &status) != 0)
        return Holds(); // made for the user alone on first use
    if ((status.st_mode & 077) != 0 || status.st_uid != ::geteuid())
        return {TrFormat("папка %1 открыта другим пользователям или чужая", {folder}),
                "chmod 0700 " + folder};
    return Holds();
}

Finding FromSetup(const SetupFinding& finding) {
    return {finding.problem, finding.remedy};
}

/// The settings file a service address comes from: the administrator's when it sets the key,
/// else the user's (or the built-in address).
std::string AddressSource(const std::string& key) {
    const std::string base = ProgramFolder() + kSettingsFileName;
    try {
        const std::string path = FindSettingsFileForReading();
        if (path == base || !IniFile::Load(base).ReadString("HTTPS", key).empty())
            return base;
        return IniFile::Load(path).ReadString("HTTPS", key).empty() ? Tr("встроенный адрес") : path;
    } catch (const std::exception&) {
        return base;
    }
}

struct ServiceAddress {
    const char* key;
    const std::string* url;
};

std::vector<ServiceAddress> ServiceAddresses() {
    const SettingsValues& values = Settings();
    // Receiving first: a GET of a receive address asks the service for nothing new.
    return {{"UrlReceiveRSACertificate", &values.UrlReceiveRSACertificate},
            {"UrlReceiveGostCertificate", &values.UrlReceiveGostCertificate},
            {"UrlRequestRSACertificate", &values.UrlRequestRSACertificate},
            {"UrlRequestGostCertificate", &values.UrlRequestGostCertificate}};
}

std::vector<Condition> Conditions() {
    std::vector<Condition> conditions = {
        {"program_folder", Tr("Папка программы"), false, [] {
             return DirectoryExists(ProgramFolder())
                        ? Holds()
                        : Finding{TrFormat("нет папки %1", {ProgramFolder()}),
                                  Tr("переустановите пакет")};
         }}};
    const std::vector<SetupFinding> operatorFindings =
        OperatorSetupFindings(std::chrono::system_clock::now());
    for (const SetupFinding& finding : operatorFindings)
        conditions.push_back({finding.name, finding.title, false, [finding] {
                                  return FromSetup(finding);
                              }});
    conditions.push_back({"settings_file", Tr("Файл настроек"), false, SettingsFile});
    for (const ServiceAddress& address : ServiceAddresses()) {
        const SetupFinding finding = ServiceAddressFinding(*address.url, address.key);
        conditions.push_back({address.key,
                              TrFormat("Адрес %1 (%2)", {address.key, AddressSource(address.key)}),
                              false, [finding] {
                                  return FromSetup(finding);
                              }});
    }
    conditions.push_back({"proxy", Tr("Прокси"), false, Proxy});
    conditions.push_back({"openssl", Tr("Программа openssl"), false, [] {
                              return Program("openssl", "openssl");
                          }});
    conditions.push_back({"gost_engine", "GOST engine", false, GostEngine});
    conditions.push_back({"pk12util", Tr("Программа pk12util (для --nss)"), true, [] {
                              return Program("pk12util", "libnss3-tools");
                          }});
    conditions.push_back({"data_folder", Tr("Папка данных пользователя"), false, DataFolder});
    return conditions;
}

/// "scheme://host:port" of an address: one connection check for each.
std::string Origin(const std::string& url) {
    const size_t scheme = url.find("://");
    const size_t path = url.find('/', scheme == std::string::npos ? 0 : scheme + 3);
    return url.substr(0, path);
}

/// One GET to `url` with the operator's certificate, the CA file and the proxy in force, within
/// a time limit. Holds when the service answers at all (an HTTP error status included: the TLS
/// handshake with the operator's certificate went through).
Finding ConnectionTo(const std::string& url, FailureClass& failure) {
    constexpr long kConnectMilliseconds = 5000;
    constexpr long kTotalMilliseconds = 15000;
    try {
        ExchangeOptions options = ExchangeOptionsFromSettings(false);
        SetConnectionTimeouts(options.connection, kConnectMilliseconds, kTotalMilliseconds);
        HttpsGetWithOptions(url, options);
        return Holds();
    } catch (const EIdHTTPProtocolException& error) {
        if (error.failureClass() == FailureClass::Refused)
            return Holds();
        failure = error.failureClass();
        return {PlainDescription(error),
                Tr("проверьте прокси (settings показывает, какой в силе)")};
    } catch (const std::exception& error) {
        failure = FailureClassOf(error);
        return {PlainDescription(error), failure == FailureClass::NotConfigured
                                             ? Tr("проверьте сертификат и ключ оператора")
                                             : Tr("проверьте адрес, сеть, прокси и работу "
                                                  "сервиса")};
    }
}

/// Whether a connection needs the condition to hold.
bool NeededToConnect(const Condition& condition) {
    static const std::set<std::string> needed = {"request_certificate", "request_key",
                                                 "request_pair", "ca_file", "proxy"};
    return needed.count(condition.name) || condition.name.starts_with("Url");
}

/// What a run of the checks found.
struct Report {
    bool setupComplete = true;
    bool connectionReady = true; ///< what a connection needs holds: operator's files, addresses

    bool serviceReached = true;
    bool connectionSetup = true; ///< no connection failed for the program's own set-up
    Json checks = Json::array();
};

/// A line's first column: the verdict in the user's language, padded so the titles line up.
std::string VerdictColumn(const std::string& verdict) {
    constexpr size_t kWidth = 8;
    // Characters, not bytes: a verdict may be Cyrillic.
    const size_t characters =
        static_cast<size_t>(std::count_if(verdict.begin(), verdict.end(), [](char c) {
            return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
        }));
    return verdict + std::string(characters < kWidth ? kWidth - characters : 1, ' ');
}

void Tell(const std::string& name, const std::string& title, bool optional, const Finding& finding,
          bool json, Report& report, const std::string& where = {}) {
    const bool holds = finding.problem.empty();
    Json entry = {{"name", name}, {"title", title}, {"ok", holds}, {"optional", optional}};
    if (!where.empty())
        entry["where"] = where;
    if (!holds) {
        entry["problem"] = finding.problem;
        entry["remedy"] = finding.remedy;
    }
    report.checks.push_back(entry);
    if (json)
        return;
    std::cout << VerdictColumn(holds ? "OK" : optional ? Tr("НЕТ") : Tr("ОШИБКА")) << title;
    if (!holds)
        std::cout << ": " << TrFormat("%1. Что сделать: %2.", {finding.problem, finding.remedy});
    std::cout << "\n";
}

/// A TLS connection to each service address (one per server), unless the set-up is incomplete.
void CheckConnections(bool json, Report& report) {
    std::set<std::string> origins;
    for (const ServiceAddress& address : ServiceAddresses()) {
        const std::string url = Trim(*address.url);
        if (!origins.insert(Origin(url)).second)
            continue;
        const std::string title = TrFormat("Соединение с %1", {Origin(url)});
        if (!report.connectionReady) {
            report.checks.push_back(
                {{"name", "connection"}, {"title", title}, {"where", url}, {"skipped", true}});
            if (!json)
                std::cout << VerdictColumn(Tr("НЕТ")) << title << ": "
                          << Tr("не проверяется, пока файлы оператора, адреса или прокси не в "
                                "порядке.")
                          << "\n";
            continue;
        }
        FailureClass failure = FailureClass::Network;
        const Finding finding = ConnectionTo(url, failure);
        if (!finding.problem.empty()) {
            report.serviceReached = false;
            report.connectionSetup =
                report.connectionSetup && failure != FailureClass::NotConfigured;
        }
        Tell("connection", title, false, finding, json, report, url);
    }
}

} // namespace

int CmdDoctor(const Arguments& args) {
    const bool json = HasFlag(args, "--json");
    const bool loaded = LoadSettingsForCommand(true);
    Report report;
    for (const Condition& condition : Conditions()) {
        // A condition after a failed one still runs: each reads only what it names.
        const Finding finding = condition.check();
        const bool holds = finding.problem.empty() || condition.optional;
        report.setupComplete = report.setupComplete && holds;
        report.connectionReady = report.connectionReady && (holds || !NeededToConnect(condition));
        Tell(condition.name, condition.title, condition.optional, finding, json, report);
    }
    report.setupComplete = report.setupComplete && loaded;
    const ProxyInForce proxy = CurrentProxy();
    if (!json)
        std::cout << "        "
                  << TrFormat("Прокси в силе: %1 (%2)",
                              {proxy.direct ? Tr("нет, напрямую") : proxy.address, proxy.source})
                  << "\n";
    if (!HasFlag(args, "--offline"))
        CheckConnections(json, report);
    const int status = !report.setupComplete || !report.connectionSetup ? kExitSetupIncomplete
                       : !report.serviceReached                         ? kExitNetwork
                                                                        : kExitOk;
    if (json)
        PrintJson({{"ok", status == kExitOk},
                   {"exit_status", status},
                   {"proxy",
                    {{"in_force", proxy.direct ? std::string("direct") : proxy.address},
                     {"source", proxy.source},
                     {"bypass", proxy.bypass}}},
                   {"checks", report.checks}});
    std::cout.flush();
    return status;
}

} // namespace cq::cli
