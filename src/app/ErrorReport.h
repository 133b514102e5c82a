#pragma once
// Turning errors into readable descriptions in the user's language, and reporting failed
// operations to the log and to the user.

#include "base/Translate.h"
#include "log/LogKind.h"

#include <exception>
#include <string>

namespace cq {

/// The readable description of an error.
std::string DescribeError(const std::exception& error);

/// The description as one plain sentence: a system error without its code, line breaks and
/// other control characters turned into single blanks.
std::string PlainDescription(const std::exception& error);

/// One log record of kind `kind` for an error (when the log service runs); never fails.
void LogError(const std::string& context, const std::exception& error, LogKind kind);

/// A stamped log record and an error box whose caption is the context.
void ReportError(const std::string& context, const std::exception& error);

/// The application-wide handler for errors that escape an event handler. Re-entrant calls
/// while its box is open are dropped.
void OnApplicationError(const std::exception& error);

/// Returns `result` when it is not 0; otherwise raises EOSError for the calling thread's errno.
long CheckOSResult(long result, const std::string& context = {});
/// The same with an explicit error code instead of errno.
long CheckOSResult(long result, const std::string& context, int lastError);

/// Raises an Exception for a failed shell-open result (32 or less); nothing above 32.
void CheckShellExecute(int code);

/// Contexts under which operations report their errors: the log record keeps them as they are,
/// the box shows them in the user's language.
namespace context {
inline constexpr const char* kLoadSettings = TrMark("Загрузка параметров из ini файла.");
inline constexpr const char* kSaveSettings = TrMark("Сохранение параметров в ini файл.");
inline constexpr const char* kAddEmail = TrMark("Добавление Email к списку.");
inline constexpr const char* kReadEmailList = TrMark("Чтение списка Email.");
inline constexpr const char* kRequestCertificate = TrMark("Запрос сертификата");
inline constexpr const char* kReceiveCertificate = TrMark("Получение сертификата");
inline constexpr const char* kRenewCertificate = TrMark("Продление сертификата");
inline constexpr const char* kCheckCertificate = TrMark("Проверка сертификата");
inline constexpr const char* kApplicationError = "Application Error - !!!";
inline constexpr const char* kLogInit = TrMark("Инициализация Log-а.");
} // namespace context

} // namespace cq
