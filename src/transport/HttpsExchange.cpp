#include "transport/HttpsExchange.h"

#include "app/AppServer.h"
#include "base/Errors.h"
#include "base/ProgramInfo.h"
#include "base/SecretBytes.h"
#include "base/StringUtil.h"
#include "log/Log.h"
#include "settings/SettingsValues.h"
#include "transport/Gzip.h"
#include "transport/UrlEscape.h"

namespace cq {
namespace {

int32_t Handle() {
    if (!AppServer())
        throw Exception("Соединение с сервисом не открыто");
    return AppServer()->ConnectionHandle;
}

std::string InProgramFolder(const std::string& fileName) {
    if (fileName.empty() || fileName.front() == '/')
        return fileName;
    return ProgramFolder() + fileName;
}

ProxyOptions ProxyFromSettings(const SettingsValues& settings) {
    return {settings.ProxyUse, settings.ProxyServer, settings.ProxyPort, settings.ProxyUserName,
            SecretBytes(settings.ProxyPassword)};
}

void ApplyProxy(const ExchangeOptions& options) {
    const ProxyOptions& proxy = options.proxy;
    VariantList list = {proxy.use, proxy.server, ProxyPortNumber(proxy.port), proxy.userName,
                        proxy.password.str()};
    const WipeOnExit wipePassword(std::get<std::string>(list[4]));
    SetProxy(options.connection, list);
}

VariantList SendRequest(const std::string& url, const ExchangeOptions& options) {
    const SecretBytes password(EscapeUrl(options.keyPassword.str()));
    const std::string encodings = options.acceptCompression ? "gzip,deflate" : "";
    VariantList result;
    CommandGet(options.connection, {EscapeUrl(url), encodings, password.str()}, result);
    return result;
}

const std::string& TextElement(const VariantList& result, size_t index) {
    if (!std::holds_alternative<std::string>(result[index]))
        throw Exception("Неверный ответ компонента соединения: элемент " + std::to_string(index));
    return std::get<std::string>(result[index]);
}

int32_t StatusElement(const Variant& element) {
    if (const auto* number = std::get_if<int32_t>(&element))
        return *number;
    if (const auto* flag = std::get_if<bool>(&element))
        return *flag ? 1 : 0;
    return ProxyPortNumber(std::get<std::string>(element));
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

std::string BodyFromCommandResult(const VariantList& result) {
    if (result.size() < kResultSize)
        throw Exception("Неверный ответ компонента соединения: " + std::to_string(result.size()) +
                        " элементов");
    const std::string& protocolError = TextElement(result, kResultProtocolError);
    const std::string& errorMessage = TextElement(result, kResultErrorMessage);
    if (!protocolError.empty())
        throw EIdHTTPProtocolException(StatusElement(result[kResultStatus]), errorMessage,
                                       protocolError);
    if (!errorMessage.empty())
        throw Exception(errorMessage);
    const std::string& body = TextElement(result, kResultBody);
    return LooksGzipped(body) ? GunzipBody(body) : body;
}

std::string HttpsGet(const std::string& url, const ExchangeOptions& options) {
    ApplyCertificate(options);
    if (options.logCopy)
        WriteLog("\r\nRequest -\r\n" + url, LogKind::Stamped);
    ApplyProxy(options);
    const std::string body = BodyFromCommandResult(SendRequest(url, options));
    // The body goes to the log byte for byte: the service's pages are not UTF-8.
    if (options.logCopy)
        WriteLog("Response -\r\n" + TrimRight(body), LogKind::Plain, LogText::Raw);
    return body;
}

std::string HTTPSGet(const std::string& url, bool logCopy) {
    return HttpsGet(url, ExchangeOptionsFromSettings(logCopy));
}

} // namespace cq
