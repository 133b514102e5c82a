#include "settings/Settings.h"

#include "app/ErrorReport.h"
#include "base/Errors.h"
#include "base/FileUtil.h"
#include "base/ProgramInfo.h"
#include "base/SecretBytes.h"
#include "base/StringUtil.h"
#include "base/TextCodec.h"
#include "base/Translate.h"
#include "base/Variables.h"
#include "settings/CertFolders.h"
#include "settings/Scramble.h"
#include "settings/ServiceDefaults.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <dirent.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace cq {
namespace {

constexpr const char* kCommon = "Common";
constexpr const char* kCert = "Cert";
constexpr const char* kProxy = "Proxy";
constexpr const char* kHttps = "HTTPS";

bool IsBinary(std::string_view bytes) {
    return std::any_of(bytes.begin(), bytes.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 && byte != '\t' && byte != '\r' && byte != '\n';
    });
}

// The redirected path as written in the base file, expanded and made absolute.
std::string ExpandRedirection(const std::string& inFile, const VariableLookup& variables) {
    std::string path = ExpandVariables(inFile, variables);
    path = path.substr(0, path.find('\0'));
    const size_t length = ToCp1251(path).size();
    if (length > kMaxSettingsPathLength)
        throw Exception(TrFormat("Путь к файлу настроек (ключ inFile раздела Common) после "
                                 "подстановки переменных окружения длиннее %1 символов (%2).",
                                 {std::to_string(kMaxSettingsPathLength), std::to_string(length)}));
    if (!StartsWith(path, "/"))
        path = ProgramFolder() + path;
    return path;
}

// An HTTPS text value: empty counts as absent.
std::string ReadHttpsText(const IniFile& ini, const char* key, std::string_view defaultValue) {
    const std::string value = ini.ReadString(kHttps, key);
    return value.empty() ? std::string(defaultValue) : value;
}

std::string WithTrailingSlash(std::string url) {
    if (url.empty() || url.back() != '/')
        url += '/';
    return url;
}

void ReadSubject(const IniFile& ini, SavedSubject& subject) {
    for (const SubjectFieldKey& field : kSubjectFieldKeys)
        subject.*field.member = ini.ReadString(kCert, field.key);
    subject.Country = ini.ReadString(kCert, "Country", "ru");
    subject.Password = ini.ReadString(kCert, "Password");
    subject.OpenPassw = ini.ReadBool(kCert, "OpenPassw", false);
    subject.Gost = ini.ReadBool(kCert, "Gost", false);
}

// A section Proxy with any key at all means the proxy comes from the file, not the system.
void ReadProxy(const IniFile& ini, SettingsValues& values) {
    if (ini.Keys(kProxy).empty())
        return;
    values.ProxyFromIni = true;
    values.ProxyUse = ini.ReadBool(kProxy, "Use", false);
    values.ProxyServer = ini.ReadString(kProxy, "Server");
    values.ProxyPort = ini.ReadString(kProxy, "Port");
    values.ProxyUserName = ini.ReadString(kProxy, "UserName");
    values.ProxyPassword = UnscramblePassword(ini.ReadBinary(kProxy, "Password"), "");
}

void ReadServiceValues(const IniFile& ini, SettingsValues& values) {
    values.UrlRequestRSACertificate =
        ReadHttpsText(ini, "UrlRequestRSACertificate", service::kDefaultUrlRequestRSACertificate);
    values.UrlReceiveRSACertificate = WithTrailingSlash(
        ReadHttpsText(ini, "UrlReceiveRSACertificate", service::kDefaultUrlReceiveRSACertificate));
    values.UrlRequestGostCertificate =
        ReadHttpsText(ini, "UrlRequestGostCertificate", service::kDefaultUrlRequestGostCertificate);
    values.UrlReceiveGostCertificate = WithTrailingSlash(ReadHttpsText(
        ini, "UrlReceiveGostCertificate", service::kDefaultUrlReceiveGostCertificate));
    values.RequestCertificate = ReadHttpsText(ini, "RequestCertificate", "Request.cer");
    values.RequestKey = ReadHttpsText(ini, "RequestKey", "Request.key");
    values.CaFile = ini.ReadString(kHttps, "CaFile");
}

// An administrator's base file rules over a user's redirected one for what belongs to the
// machine rather than to the user: every non-empty service value (addresses, the request
// certificate, its CA), the request certificate's password, and the whole proxy when the base
// file has a Proxy section. The base file is only read here: users cannot write it.
void ReadAdministratorValues(const IniFile& base, SettingsValues& values) {
    const auto rules = [&base](const char* key) {
        return !base.ReadString(kHttps, key).empty();
    };
    const auto take = [&](const char* key, std::string& value) {
        if (rules(key))
            value = base.ReadString(kHttps, key);
    };
    take("UrlRequestRSACertificate", values.UrlRequestRSACertificate);
    take("UrlRequestGostCertificate", values.UrlRequestGostCertificate);
    if (rules("UrlReceiveRSACertificate"))
        values.UrlReceiveRSACertificate =
            WithTrailingSlash(base.ReadString(kHttps, "UrlReceiveRSACertificate"));
    if (rules("UrlReceiveGostCertificate"))
        values.UrlReceiveGostCertificate =
            WithTrailingSlash(base.ReadString(kHttps, "UrlReceiveGostCertificate"));
    if (!base.ReadString(kCert, "RsaKeyBits").empty())
        values.RsaKeyBits = base.ReadInteger(kCert, "RsaKeyBits", 0);
    take("RequestCertificate", values.RequestCertificate);
    take("RequestKey", values.RequestKey);
    take("CaFile", values.CaFile);
    if (rules("OpenRequestPassword"))
        values.RequestPassword = base.ReadString(kHttps, "OpenRequestPassword");
    else if (base.ValueExists(kHttps, "RequestPassword"))
        values.RequestPassword = UnscramblePassword(base.ReadBinary(kHttps, "RequestPassword"), "");
    ReadProxy(base, values);
}

// Turns a clear-text OpenRequestPassword into a scrambled RequestPassword and sets the request
// password in use. A clear password too long for the scrambled form stays where it is, in clear,
// and is used as it stands: converting it would have to cut it.
bool ReadRequestPassword(IniFile& ini, SettingsValues& values) {
    std::string open = ini.ReadString(kHttps, "OpenRequestPassword");
    WipeOnExit wipe{open};
    bool changed = false;
    if (!open.empty() && CanScramble(open)) {
        ini.DeleteKey(kHttps, "OpenRequestPassword");
        ini.WriteBinary(kHttps, "RequestPassword", ScramblePassword(open));
        changed = true;
    } else if (!open.empty()) {
        values.RequestPassword = open;
        return false;
    }
    values.RequestPassword = ini.ValueExists(kHttps, "RequestPassword")
                                 ? UnscramblePassword(ini.ReadBinary(kHttps, "RequestPassword"), "")
                                 : std::string(kBuiltInRequestPassword);
    return changed;
}

void CheckProxyPasswordFits(const std::string& password) {
    if (CanScramble(password))
        return;
    if (ToCp1251(password).size() > kMaxScrambledLength)
        throw Exception(
            TrFormat("Пароль прокси-сервера длиннее %1 символа и не может быть сохранён "
                     "в файле настроек. Параметры не сохранены: сократите пароль.",
                     {std::to_string(kMaxScrambledLength)}));
    throw Exception(Tr("Пароль прокси-сервера содержит символы, которых нет в кодировке "
                       "Windows-1251, и не может быть сохранён в файле настроек. Параметры не "
                       "сохранены."));
}

void WriteSubject(IniFile& ini, const SavedSubject& subject) {
    WriteSubjectKeys(ini, subject);
    if (subject.OpenPassw) {
        ini.WriteString(kCert, "OpenPassw", "1");
        ini.WriteString(kCert, "Password", subject.Password);
    } else {
        ini.DeleteKey(kCert, "OpenPassw");
        ini.DeleteKey(kCert, "Password");
    }
    if (subject.Gost)
        ini.WriteString(kCert, "Gost", "1");
    else
        ini.DeleteKey(kCert, "Gost");
}

void WriteProxy(IniFile& ini, const SettingsValues& values) {
    ini.WriteBool(kProxy, "Use", values.ProxyUse);
    ini.WriteString(kProxy, "Server", values.ProxyServer);
    ini.WriteString(kProxy, "Port", values.ProxyPort);
    ini.WriteString(kProxy, "UserName", values.ProxyUserName);
    ini.WriteBinary(kProxy, "Password", ScramblePassword(values.ProxyPassword));
}

// A writer killed between making the new copy of the settings file and renaming it into place
// leaves the copy beside the file (beside the link's target for a linked file). Under the
// settings lock no writer owns one, so every copy of this file goes; other files' temporaries
// in the data folder stay, as their writers do not take this lock. Failures are left for the
// next writer.
void RemoveStaleSettingsCopies(const std::string& path) {
    std::string target;
    try {
        target = ResolveSymlinks(path);
    } catch (const std::exception&) {
        return; // a loop of links: the write itself reports it
    }
    const std::string folder = ExtractFilePath(target);
    const std::string prefix = ExtractFileName(target) + ".cqtmp-";
    DIR* directory = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!directory)
        return;
    while (const dirent* entry = ::readdir(directory)) {
        const std::string name = entry->d_name;
        struct stat info {};
        if (StartsWith(name, prefix) && IsTemporaryFileName(name) &&
            ::lstat((folder + name).c_str(), &info) == 0 && S_ISREG(info.st_mode))
            ::unlink((folder + name).c_str());
    }
    ::closedir(directory);
}

} // namespace

std::string FindSettingsFile(bool createFolder) {
    const std::string base = ProgramFolder() + kSettingsFileName;
    Settings().DataFolder = ProgramFolder();
    const std::string inFile = IniFile::Load(base).ReadString(kCommon, "inFile");
    if (inFile.empty())
        return base;
    const std::string path = ExpandRedirection(inFile, [](const std::string& name) {
        const char* value = std::getenv(name.c_str());
        return value ? std::optional<std::string>(value) : std::nullopt;
    });
    const std::string folder = ExtractFilePath(path);
    Settings().DataFolder = folder;
    if (createFolder && !FileExists(path) && !DirectoryExists(folder))
        ForceDirectories(folder, kPrivateFolderMode);
    return path;
}

std::string SettingsFileWith(const VariableLookup& variables) {
    const std::string base = ProgramFolder() + kSettingsFileName;
    const std::string inFile = IniFile::Load(base).ReadString(kCommon, "inFile");
    return inFile.empty() ? base : ExpandRedirection(inFile, variables);
}

FolderLock LockSettingsFile(const std::string& path) {
    constexpr std::chrono::seconds kWait{10};
    std::optional<FolderLock> lock = FolderLock::Acquire(ExtractFilePath(path), kWait);
    if (!lock)
        throw Exception(TrFormat("Файл настроек %1 дольше 10 секунд изменяет другая копия "
                                 "программы. Повторите действие.",
                                 {path}));
    RemoveStaleSettingsCopies(path);
    return std::move(*lock);
}

IniFile LoadSettingsFile(const std::string& path) {
    if (!FileExists(path) && !DirectoryExists(path))
        return IniFile();
    return ParseSettingsFile(ReadFileBytes(path), path);
}

IniFile ParseSettingsFile(std::string_view bytes, const std::string& path) {
    if (IsBinary(bytes))
        throw Exception(TrFormat("Файл настроек %1 содержит двоичные данные, а не текст ini файла. "
                                 "Исправьте или удалите его.",
                                 {path}));
    return IniFile::Parse(bytes);
}

bool ReadSettingsValues(IniFile& ini, SavedSubject& subject, SettingsValues& values) {
    ReadSubject(ini, subject);
    values.LegacyPkcs12 = ini.ReadBool(kCert, "LegacyPkcs12", false);
    values.GostPkcs12Cipher = Trim(ini.ReadString(kCert, "GostPkcs12Cipher"));
    values.RsaKeyBits = ini.ReadInteger(kCert, "RsaKeyBits", 1024);
    values.WarnDays = ini.ReadInteger(kCert, "WarnDays", kDefaultWarnDays);
    if (values.WarnDays < 0)
        values.WarnDays = kDefaultWarnDays;
    ReadProxy(ini, values);
    ReadServiceValues(ini, values);
    return ReadRequestPassword(ini, values);
}

std::string FindSettingsFileForReading() {
    try {
        return FindSettingsFile(true);
    } catch (const EOSError& error) {
        const int code = error.errorCode();
        if (code != EACCES && code != EROFS && code != EPERM)
            throw;
        return FindSettingsFile(false);
    }
}

SavedSubject LoadSettings(bool* loaded) {
    SavedSubject subject;
    bool ok = false;
    try {
        const std::string path = FindSettingsFileForReading();
        std::optional<FolderLock> lock; // the conversion may write the file back
        if (DirectoryExists(ExtractFilePath(path)))
            lock.emplace(LockSettingsFile(path));
        IniFile ini = LoadSettingsFile(path);
        const bool converted = ReadSettingsValues(ini, subject, Settings());
        const std::string base = ProgramFolder() + kSettingsFileName;
        if (path != base)
            ReadAdministratorValues(LoadSettingsFile(base), Settings());
        ok = true; // every value is read; a failed write-back of the conversion loses none
        if (converted && lock)
            ini.Save(path);
    } catch (const std::exception& error) {
        ReportError(context::kLoadSettings, error);
    }
    if (loaded)
        *loaded = ok;
    return subject;
}

bool SaveSettings(const SavedSubject& subject) {
    try {
        CheckProxyPasswordFits(Settings().ProxyPassword);
        const std::string path = FindSettingsFile(true);
        const FolderLock lock = LockSettingsFile(path);
        IniFile ini = LoadSettingsFile(path);
        WriteSubject(ini, subject);
        WriteProxy(ini, Settings());
        ini.Save(path);
        return true;
    } catch (const std::exception& error) {
        ReportError(context::kSaveSettings, error);
        return false;
    }
}

} // namespace cq
