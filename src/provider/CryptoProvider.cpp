#include "provider/CryptoProvider.h"

#include "base/Translate.h"

#include <openssl/evp.h>

#include <utility>

namespace cq::provider {
namespace {

struct CodeText {
    uint32_t code;
    const char* text;
};

// The system's texts for the codes this program raises (translated where they are read).
constexpr CodeText kTexts[] = {
    {code::kBadData, TrMark("Неправильные данные.")},
    {code::kBadAlgId, TrMark("Указан неправильный алгоритм.")},
    {code::kNoKey, TrMark("Ключ не существует.")},
    {code::kExists, TrMark("Объект уже существует.")},
    {code::kBadKeySet, TrMark("Набор ключей не существует")},
    {code::kKeySetNotDefined, TrMark("Набор ключей не определен.")},
    {code::kBadKeySetParam, TrMark("Неправильный параметр набора ключей.")},
    {code::kFail, TrMark("Внутренняя ошибка.")},
    {code::kWrongPin, TrMark("Доступ к карте невозможен из-за неправильного PIN-кода.")},
    {code::kPinLocked,
     TrMark("Доступ к карте заблокирован: превышено число попыток ввода PIN-кода.")},
    {code::kTokenRemoved, TrMark("Смарт-карта извлечена, дальнейшая работа с ней невозможна.")},
    {code::kCancelled, TrMark("Действие было отменено пользователем.")},
    {code::kNotFound, TrMark("Не удается найти объект или свойство.")},
    {code::kBadPrintableString, TrMark("Строка содержит непечатаемый символ.")},
    {code::kBadIa5String, TrMark("Строка содержит недопустимый символ.")},
};

} // namespace

std::string ProviderErrorText(uint32_t errorCode) {
    for (const CodeText& entry : kTexts)
        if (entry.code == errorCode)
            return Tr(entry.text);
    return {};
}

namespace {

/// What a provider code means to the one who called the provider.
FailureClass FailureOfCode(uint32_t errorCode) {
    switch (errorCode) {
    case code::kWrongPin:
        return FailureClass::WrongPassword;
    case code::kCancelled:
        return FailureClass::Cancelled;
    default:
        return FailureClass::Other;
    }
}

} // namespace

EOSError ProviderError(uint32_t errorCode, const std::string& detail) {
    const int signedCode = static_cast<int>(errorCode);
    std::string readable = detail.empty() ? std::string() : detail + " : ";
    const std::string text = ProviderErrorText(errorCode);
    readable += text.empty() ? Tr("Ошибка криптопровайдера.") : text;
    const std::string message =
        "System Error.  Code: " + std::to_string(signedCode) + ".\r\n" + readable;
    return EOSError(message, signedCode, FailureOfCode(errorCode), readable);
}

EOSError ProviderErrorInWords(uint32_t errorCode, const std::string& text) {
    return EOSError(text, static_cast<int>(errorCode), FailureOfCode(errorCode), text);
}

bool HasCode(const EOSError& error, uint32_t errorCode) {
    return error.errorCode() == static_cast<int>(errorCode);
}

ContextOwner::~ContextOwner() {
    try {
        if (context_)
            context_->release();
    } catch (...) {
        // An error is already on its way, or the caller released on purpose before.
    }
}

void ContextOwner::release() {
    std::unique_ptr<ProviderContext> context = std::move(context_);
    if (context)
        context->release();
}

std::string Sha1(std::string_view bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha1(), nullptr) != 1)
        throw ProviderError(code::kFail, "SHA-1");
    return std::string(reinterpret_cast<const char*>(digest), length);
}

} // namespace cq::provider
