#include "base/Errors.h"

#include "base/Translate.h"

#include <cerrno>
#include <cstring>
#include <cxxabi.h>
#include <memory>
#include <typeinfo>

namespace cq {

std::string ClassNameOf(const std::exception& error) {
    if (const auto* own = dynamic_cast<const Exception*>(&error))
        return own->className();
    int status = 0;
    const char* mangled = typeid(error).name();
    std::unique_ptr<char, void (*)(void*)> demangled(
        abi::__cxa_demangle(mangled, nullptr, nullptr, &status), std::free);
    return status == 0 && demangled ? demangled.get() : mangled;
}

FailureClass FailureClassOf(const std::exception& error) {
    if (const auto* own = dynamic_cast<const Exception*>(&error))
        return own->failureClass();
    return FailureClass::Other;
}

namespace {

struct CodeText {
    int code;
    const char* text;
};

// The texts of the failures a user meets with files and folders, in the user's language, as the
// system of a Russian workstation words them (the catalog translates them for another language);
// the rest keep the C library's text.
constexpr CodeText kRussianTexts[] = {
    {EPERM, TrMark("Операция не разрешена.")},
    {ENOENT, TrMark("Не удается найти указанный файл или папку.")},
    {EIO, TrMark("Ошибка ввода-вывода.")},
    {EACCES, TrMark("Отказано в доступе.")},
    {EBUSY, TrMark("Ресурс занят.")},
    {EEXIST, TrMark("Файл или папка уже существует.")},
    {ENOTDIR, TrMark("Часть пути не является папкой.")},
    {EISDIR, TrMark("Это папка, а не файл.")},
    {EMFILE, TrMark("Слишком много открытых файлов.")},
    {ENOSPC, TrMark("Недостаточно места на диске.")},
    {EROFS, TrMark("Файловая система доступна только для чтения.")},
    {ENAMETOOLONG, TrMark("Слишком длинное имя файла.")},
    {ELOOP, TrMark("Символические ссылки образуют петлю.")},
    {EDQUOT, TrMark("Превышена дисковая квота.")},
};

} // namespace

std::string SystemErrorMessage(int code) {
    for (const CodeText& entry : kRussianTexts)
        if (entry.code == code)
            return Tr(entry.text);
    char buffer[256];
    return strerror_r(code, buffer, sizeof buffer);
}

EOSError MakeOSError(int code, const std::string& context, FailureClass failure) {
    std::string prefix = context.empty() ? std::string() : context + " : ";
    if (code == 0)
        return EOSError(prefix + "A call to an OS function failed", 0, failure);
    std::string readable = prefix + SystemErrorMessage(code);
    std::string message = "System Error.  Code: " + std::to_string(code) + ".\r\n" + readable;
    return EOSError(message, code, failure, std::move(readable));
}

} // namespace cq
