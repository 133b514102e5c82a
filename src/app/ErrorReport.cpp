#include "app/ErrorReport.h"

#include "base/Dialogs.h"
#include "base/Errors.h"
#include "base/ShellOpenCodes.h"
#include "base/StringUtil.h"
#include "base/Translate.h"
#include "log/Log.h"

#include <cerrno>
#include <map>

namespace cq {
namespace {

std::string AbortedHttp(const std::string& status) {
    return TrFormat("Прерванный запрос HTTP (%1)", {status});
}

std::string DescribeProtocolError(const EIdHTTPProtocolException& error, std::string& composed) {
    const std::string status = std::to_string(error.errorCode());
    const std::string message = error.message();
    if (!Trim(message).empty()) {
        if (message == "\x1bOk")
            return AbortedHttp("Ok");
        composed = AbortedHttp(status) + " ";
        return composed + message;
    }
    const std::string& protocolText = error.errorMessage();
    composed = AbortedHttp(status);
    if (UpperCase(protocolText.substr(0, 4)) == "HTTP")
        return composed;
    return composed + " " + protocolText;
}

bool applicationErrorBoxOpen = false;

const std::map<int, const char*>& ShellExecuteMessages() {
    static const std::map<int, const char*> messages = {
        {shellopen::kOutOfResources, TrMark("Оперативной системе не хватает памяти или ресурсов.")},
        {shellopen::kFileNotFound, TrMark("Указаный файл не найден.")},
        {shellopen::kPathNotFound, TrMark("Указаный путь не найден.")},
        {shellopen::kAccessDenied,
         TrMark("Операционная система отказывает в доступе к указаному файлу.")},
        {shellopen::kOutOfMemory, TrMark("Не достаточно памяти для завершения операции.")},
        {shellopen::kBadFormat,
         TrMark(".EXE файл не рабочий (не Win32 .EXE или ошибка в .EXE образе).")},
        {shellopen::kSharingViolation, TrMark("Нарушение совместного доступа.")},
        {shellopen::kBadAssociation,
         TrMark("Имя ассоциированного файла не полное или не правильное.")},
        {shellopen::kDdeTimeout,
         TrMark(
             "Транзакция динамического обмена данными не может быть завершена потому что истекло "
             "время ожидания ответа.")},
        {shellopen::kDdeFailed, TrMark("Транзакция динамического обмена данными провалилась.")},
        {shellopen::kDdeBusy,
         TrMark("Транзакция динамического обмена данными (DDE transaction) не может быть завершена "
                "потому что выпоняются другие DDE транзакции.")},
        {shellopen::kNoAssociation,
         TrMark("Нет приложений ассоциированных с данным расширением файла.")},
        {shellopen::kLibraryNotFound, TrMark("Указаная DLL библиотека не найдена.")},
    };
    return messages;
}

} // namespace

std::string DescribeError(const std::exception& error) {
    std::string composed;
    try {
        if (const auto* protocol = dynamic_cast<const EIdHTTPProtocolException*>(&error))
            return DescribeProtocolError(*protocol, composed);
        return error.what();
    } catch (const std::exception& second) {
        return composed + TrFormat("Получение описания из эксепта... %1", {second.what()});
    }
}

std::string PlainDescription(const std::exception& error) {
    const auto* own = dynamic_cast<const Exception*>(&error);
    const bool protocol = dynamic_cast<const EIdHTTPProtocolException*>(&error) != nullptr;
    const std::string text = own && !protocol ? own->readableMessage() : DescribeError(error);
    std::string plain;
    for (const char c : text) {
        const bool control = static_cast<unsigned char>(c) < 0x20 || c == 0x7f;
        if (!control)
            plain += c;
        else if (!plain.empty() && plain.back() != ' ')
            plain += ' ';
    }
    return Trim(plain);
}

void LogError(const std::string& context, const std::exception& error, LogKind kind) {
    if (!LogRunning())
        return;
    try {
        WriteLog(context + " <!>" + ClassNameOf(error) + "<!> " + DescribeError(error), kind);
    } catch (...) {
    }
}

void ReportError(const std::string& context, const std::exception& error) {
    LogError(context, error, LogKind::Stamped);
    ShowFailureBox(DescribeError(error), context, FailureClassOf(error), PlainDescription(error));
}

void OnApplicationError(const std::exception& error) {
    if (applicationErrorBoxOpen)
        return;
    applicationErrorBoxOpen = true;
    try {
        LogError(context::kApplicationError, error, LogKind::Stamped);
        ShowFailureBox(ClassNameOf(error) + ": " + DescribeError(error), {}, FailureClassOf(error),
                       PlainDescription(error));
    } catch (...) {
    }
    applicationErrorBoxOpen = false;
}

long CheckOSResult(long result, const std::string& context) {
    return CheckOSResult(result, context, errno);
}

long CheckOSResult(long result, const std::string& context, int lastError) {
    if (result != 0)
        return result;
    throw MakeOSError(lastError, context);
}

void CheckShellExecute(int code) {
    if (code > shellopen::kLibraryNotFound)
        return;
    const auto& messages = ShellExecuteMessages();
    const auto found = messages.find(code);
    throw Exception(found != messages.end() ? Tr(found->second) : SystemErrorMessage(code));
}

} // namespace cq
