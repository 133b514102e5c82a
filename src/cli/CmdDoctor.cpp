// certquorix-cli doctor: the administrator's check of a set-up, one line per condition with
// OK or the problem and what to do about it; status 0 only when every required one holds.

#include "base/FileUtil.h"
#include "base/ProgramInfo.h"
#include "base/StringUtil.h"
#include "certs/ClientPair.h"
#include "cli/Commands.h"
#include "cli/JsonOutput.h"
#include "provider/GostKey.h"
#include "settings/Settings.h"
#include "transport/HttpsExchange.h"

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <iostream>
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
    const char* name;  ///< fixed English word for --json
    const char* title; ///< what is checked, in Russian
    bool optional;     ///< a failure is told but does not fail the set-up
    std::function<Finding()> check;
};

Finding Holds() {
    return {};
}

bool Readable(const std::string& path) {
    return ::access(path.c_str(), R_OK) == 0;
}

std::string InProgramFolder(const std::string& name) {
    return name.starts_with("/") ? name : ProgramFolder() + name;
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

Finding OperatorFile(const std::string& name) {
    const std::string path = InProgramFolder(name);
    if (!FileExists(path))
        return {"нет файла " + path, "положите файл оператора " + name + " в папку программы"};
    if (!Readable(path))
        return {"файл " + path + " не читается этим пользователем",
                "дайте пользователям право чтения (например, chmod 0644 " + path + ")"};
    return Holds();
}

Finding OperatorPair() {
    const SettingsValues& values = Settings();
    if (!Readable(InProgramFolder(values.RequestCertificate)) ||
        !Readable(InProgramFolder(values.RequestKey)))
        return {"не проверяется, пока файлы оператора не читаются", "см. строки выше"};
    const std::string problem =
        ClientPairProblem(InProgramFolder(values.RequestCertificate),
                          InProgramFolder(values.RequestKey), values.RequestPassword);
    if (problem.empty())
        return Holds();
    return {problem, "положите в папку программы сертификат и ключ оператора из одной поставки"};
}

Finding SettingsFile() {
    std::string path;
    try {
        path = FindSettingsFile(false);
    } catch (const std::exception& error) {
        return {error.what(), "проверьте файл CertQuorix.ini в папке программы и его ключ inFile"};
    }
    if (FileExists(path) && ::access(path.c_str(), R_OK | W_OK) != 0)
        return {"файл настроек " + path + " не доступен этому пользователю для чтения и записи",
                "дайте пользователю права на файл или направьте его в свой файл (inFile)"};
    // A file not made yet goes into its folder, or the nearest folder above that exists.
    std::string folder = ExtractFilePath(path);
    while (folder.size() > 1 && !DirectoryExists(folder))
        folder = ExtractFilePath(folder.substr(0, folder.size() - 1));
    if (!FileExists(path) && ::access(folder.c_str(), W_OK) != 0)
        return {"в папке " + folder + " нельзя создать файл настроек",
                "дайте пользователю право записи в папку или направьте его в свой файл (inFile)"};
    return Holds();
}

Finding ServiceUrls() {
    const SettingsValues& values = Settings();
    for (const std::string* url :
         {&values.UrlRequestRSACertificate, &values.UrlReceiveRSACertificate,
          &values.UrlRequestGostCertificate, &values.UrlReceiveGostCertificate})
        if (Trim(*url).empty())
            return {"адрес сервиса не задан", "задайте адреса в разделе [HTTPS] файла настроек"};
    return Holds();
}

Finding CaFile() {
    const std::string& name = Settings().CaFile;
    if (name.empty())
        return Holds(); // the system's store
    const std::string path = InProgramFolder(name);
    if (!Readable(path))
        return {"файл CaFile " + path + " не читается",
                "исправьте ключ CaFile раздела [HTTPS] или положите файл"};
    return Holds();
}

Finding Proxy() {
    const SettingsValues& values = Settings();
    if (!values.ProxyUse)
        return Holds();
    if (Trim(values.ProxyServer).empty())
        return {"прокси включён, но сервер не задан", "задайте Server раздела [Proxy] или Use=0"};
    if (ProxyPortNumber(values.ProxyPort) == 0)
        return {"порт прокси \"" + values.ProxyPort + "\" не число от 1 до 65535",
                "исправьте Port раздела [Proxy]"};
    return Holds();
}

Finding Program(const std::string& name, const std::string& package) {
    if (OnPath(name).empty())
        return {"программа " + name + " не найдена в PATH", "установите пакет " + package};
    return Holds();
}

Finding GostEngine() {
    const char* engine = std::getenv(provider::kGostEngineVariable);
    const std::string location = engine && *engine ? engine : provider::kGostEngineId;
    if (!provider::LoadGostEngine(location))
        return {"GOST engine \"" + location + "\" не загружается",
                "установите пакет libengine-gost-openssl или исправьте " +
                    std::string(provider::kGostEngineVariable)};
    return Holds();
}

Finding DataFolder() {
    const std::string folder = UserDataFolder() + "CertQuorix";
    struct stat status {};
    if (::stat(folder.c_str(), &status) != 0)
        return Holds(); // made for the user alone on first use
    if ((status.st_mode & 077) != 0 || status.st_uid != ::geteuid())
        return {"папка " + folder + " открыта другим пользователям или чужая",
                "chmod 0700 " + folder};
    return Holds();
}

std::vector<Condition> Conditions() {
    const SettingsValues& values = Settings();
    return {
        {"program_folder", "Папка программы", false,
         [] {
             return DirectoryExists(ProgramFolder())
                        ? Holds()
                        : Finding{"нет папки " + ProgramFolder(), "переустановите пакет"};
         }},
        {"request_certificate", "Сертификат оператора", false,
         [&values] {
             return OperatorFile(values.RequestCertificate);
         }},
        {"request_key", "Ключ оператора", false,
         [&values] {
             return OperatorFile(values.RequestKey);
         }},
        {"request_pair", "Ключ оператора от его сертификата", false, OperatorPair},
        {"settings_file", "Файл настроек", false, SettingsFile},
        {"service_urls", "Адреса сервиса", false, ServiceUrls},
        {"ca_file", "Файл сертификатов сервиса (CaFile)", false, CaFile},
        {"proxy", "Прокси", false, Proxy},
        {"openssl", "Программа openssl", false,
         [] {
             return Program("openssl", "openssl");
         }},
        {"gost_engine", "GOST engine", false, GostEngine},
        {"pk12util", "Программа pk12util (для --nss)", true,
         [] {
             return Program("pk12util", "libnss3-tools");
         }},
        {"data_folder", "Папка данных пользователя", false, DataFolder},
    };
}

} // namespace

int CmdDoctor(const Arguments& args) {
    bool loaded = false;
    LoadSettings(&loaded);
    bool allHold = true;
    Json checks = Json::array();
    for (const Condition& condition : Conditions()) {
        // A condition after a failed one may still run: each reads only what it names.
        const Finding finding = condition.check();
        const bool holds = finding.problem.empty();
        allHold = allHold && (holds || condition.optional);
        Json entry = {{"name", condition.name}, {"ok", holds}, {"optional", condition.optional}};
        if (!holds) {
            entry["problem"] = finding.problem;
            entry["remedy"] = finding.remedy;
        }
        checks.push_back(entry);
        if (HasFlag(args, "--json"))
            continue;
        std::cout << (holds                ? "OK      "
                      : condition.optional ? "НЕТ     "
                                           : "ОШИБКА  ")
                  << condition.title;
        if (!holds)
            std::cout << ": " << finding.problem << ". Что сделать: " << finding.remedy << ".";
        std::cout << "\n";
    }
    allHold = allHold && loaded;
    if (HasFlag(args, "--json"))
        PrintJson({{"ok", allHold}, {"checks", checks}});
    std::cout.flush();
    return allHold ? kExitOk : kExitSetupIncomplete;
}

} // namespace cq::cli
