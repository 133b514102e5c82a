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

void ApplyProxySettings() {
    const SettingsValues& settings = Settings();
    VariantList proxy = {settings.ProxyUse, settings.ProxyServer,
                         ProxyPortNumber(settings.ProxyPort), settings.ProxyUserName,
                         settings.ProxyPassword};
    const WipeOnExit wipePassword(std::get<std::string>(proxy[4]));
    SetProxy(Handle(), proxy);
}

VariantList SendRequest(const std::string& url) {
    const SecretBytes password(EscapeUrl(Settings().RequestPassword));
    const std::string encodings = Settings().AcceptCompression ? "gzip,deflate" : "";
    VariantList result;
    CommandGet(Handle(), {EscapeUrl(url), encodings, password.str()}, result);
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

void ApplyRequestCertificate() {
    const SettingsValues& settings = Settings();
    SetCertificate(Handle(), {ProgramFolder() + settings.RequestCertificate,
                              ProgramFolder() + settings.RequestKey});
    SetTrustedCaFile(Handle(), InProgramFolder(settings.CaFile));
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

std::string HTTPSGet(const std::string& url, bool logCopy) {
    ApplyRequestCertificate();
    if (logCopy)
        WriteLog("\r\nRequest -\r\n" + url, LogKind::Stamped);
    ApplyProxySettings();
    const std::string body = BodyFromCommandResult(SendRequest(url));
    if (logCopy)
        WriteLog("Response -\r\n" + TrimRight(body), LogKind::Plain);
    return body;
}

} // namespace cq
