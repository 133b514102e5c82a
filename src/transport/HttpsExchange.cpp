#include "transport/HttpsExchange.h"

#include "app/AppServer.h"
#include "base/Errors.h"
#include "base/ProgramInfo.h"
#include "base/SecretBytes.h"
#include "base/StringUtil.h"
#include "base/Translate.h"
#include "log/Log.h"
#include "settings/SettingsValues.h"
#include "transport/Gzip.h"
#include "transport/UrlEscape.h"

namespace cq {
namespace {

int32_t Handle() {
    if (!AppServer())
        throw Exception(Tr("Соединение с сервисом не открыто"));
    return AppServer()->ConnectionHandle;
}

std::string InProgramFolder(const std::string& fileName) {
    if (fileName.empty() || fileName.front() == '/')
        return fileName;
    return ProgramFolder() + fileName;
}

ProxySetting ProxyFromSettings(const SettingsValues& settings) {
    return {settings.ProxyUse,
            settings.ProxyServer,
            ProxyPortNumber(settings.ProxyPort),
            settings.ProxyUserName,
            SecretBytes(settings.ProxyPassword),
            settings.ProxyBypass};
}

GetResult SendRequest(const std::string& url, const ExchangeOptions& options) {
    return CommandGet(options.connection,
                      {EscapeUrl(url), options.acceptCompression ? "gzip,deflate" : "",
                       SecretBytes(options.keyPassword.str())});
}

} // namespace

int32_t ProxyPortNumber(const std::string& text) {
    const std::string digits = Trim(text);
    if (digits.empty() || digits.size() > 5 ||
        digits.find_first_not_of("0123456789") != std::string::npos)
        return 0;
    const int value = std::stoi(digits);
    return value <= 65535 ? value : 0;
}

ExchangeOptions ExchangeOptionsFromSettings(bool logCopy) {
    const SettingsValues& settings = Settings();
    ExchangeOptions options;
    options.connection = Handle();
    options.certificateFile = ProgramFolder() + settings.RequestCertificate;
    options.keyFile = ProgramFolder() + settings.RequestKey;
    options.keyPassword = SecretBytes(settings.RequestPassword);
    options.caFile = InProgramFolder(settings.CaFile);
    options.proxy = ProxyFromSettings(settings);
    options.acceptCompression = settings.AcceptCompression;
    options.logCopy = logCopy;
    return options;
}

void ApplyCertificate(const ExchangeOptions& options) {
    SetCertificate(options.connection, {options.certificateFile, options.keyFile});
    SetTrustedCaFile(options.connection, options.caFile);
}

void ApplyRequestCertificate() {
    ApplyCertificate(ExchangeOptionsFromSettings(false));
}

std::string BodyFromCommandResult(const GetResult& result) {
    if (!result.protocolError.empty())
        throw EIdHTTPProtocolException(result.status, result.errorMessage, result.protocolError,
                                       result.failure);
    if (!result.errorMessage.empty())
        throw Exception(result.errorMessage, result.failure);
    return LooksGzipped(result.body) ? GunzipBody(result.body) : result.body;
}

std::string HttpsGetWithOptions(const std::string& url, const ExchangeOptions& options) {
    ApplyCertificate(options);
    if (options.logCopy)
        WriteLog("\r\nRequest -\r\n" + url, LogKind::Stamped);
    SetProxy(options.connection, options.proxy);
    const std::string body = BodyFromCommandResult(SendRequest(url, options));
    // The body goes to the log byte for byte: the service's pages are not UTF-8.
    if (options.logCopy)
        WriteLog("Response -\r\n" + TrimRight(body), LogKind::Plain, LogText::Raw);
    return body;
}

std::string HTTPSGet(const std::string& url, bool logCopy) {
    return HttpsGetWithOptions(url, ExchangeOptionsFromSettings(logCopy));
}

} // namespace cq
