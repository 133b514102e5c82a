#include "certs/InputRules.h"

#include "base/Errors.h"
#include "base/StringUtil.h"
#include "base/TextCodec.h"
#include "base/Translate.h"

#include <utility>

namespace cq {
namespace {

bool InRange(char32_t c, char32_t low, char32_t high) {
    return c >= low && c <= high;
}

bool AnyBlankField(const RequestFields& fields) {
    for (const std::string* text : {&fields.Country, &fields.State, &fields.Locality,
                                    &fields.Organization, &fields.CommonName})
        if (Trim(*text).empty())
            return true;
    return false;
}

bool AnyBlankGostChoice(const RequestFields& fields) {
    return Trim(fields.provider).empty() || Trim(fields.container).empty();
}

} // namespace

bool IsSubjectChar(char32_t c) {
    return c == ' ' || c == '-' || c == '.' || InRange(c, '0', '9') || InRange(c, '@', 'Z') ||
           InRange(c, 'a', 'z');
}

bool IsEmailChar(char32_t c) {
    return c == '-' || c == '.' || InRange(c, '0', '9') || c == '@' || c == '_' ||
           InRange(c, 'a', 'z');
}

bool FitsFilter(FieldFilter filter, std::string_view text) {
    if (filter == FieldFilter::None)
        return true;
    for (size_t pos = 0; pos < text.size();) {
        const char32_t c = DecodeUtf8(text, pos);
        if (!(filter == FieldFilter::Subject ? IsSubjectChar(c) : IsEmailChar(c)))
            return false;
    }
    return true;
}

bool TypedCharPasses(FieldFilter filter, char32_t key) {
    if (filter == FieldFilter::None || key == 8)
        return true;
    return filter == FieldFilter::Subject ? IsSubjectChar(key) : IsEmailChar(key);
}

std::optional<std::string> PasteRefusal(FieldFilter filter, std::string_view clipboardText) {
    if (FitsFilter(filter, clipboardText))
        return std::nullopt;
    return TrFormat("Попытка вставить текст \"%1\" содержащий недопустимые символы.",
                    {std::string(clipboardText)});
}

bool EndsWithOperatorDomain(std::string_view commonName, std::string_view domain) {
    return commonName.size() >= domain.size() &&
           commonName.substr(commonName.size() - domain.size()) == domain;
}

bool CommonNameIsBad(const RequestFields& fields) {
    return !FitsFilter(FieldFilter::Subject, Trim(fields.CommonName));
}

bool EmailLooksUsable(std::string_view email) {
    const size_t at = email.find('@');
    return at != std::string_view::npos && at != 0;
}

std::optional<std::string> AddressRefusal(std::string_view email) {
    const std::string address = LowerCase(Trim(email));
    if (FitsFilter(FieldFilter::Email, address) && EmailLooksUsable(address))
        return std::nullopt;
    return TrFormat("Адрес эл. почты \"%1\" не подходит: нужен адрес вида имя@домен из "
                    "латинских букв, цифр и символов - . _",
                    {std::string(email)});
}

bool RsaSendEnabled(const RequestFields& fields, std::string_view operatorDomain) {
    return !EndsWithOperatorDomain(Trim(fields.CommonName), operatorDomain) &&
           EmailLooksUsable(fields.Email) && !fields.password.empty() &&
           (fields.openPassword || fields.password == fields.password2);
}

bool GostStartEnabled(const RequestFields& fields, std::string_view operatorDomain) {
    return !EndsWithOperatorDomain(Trim(fields.CommonName), operatorDomain) &&
           !AnyBlankField(fields) && EmailLooksUsable(fields.Email) && !AnyBlankGostChoice(fields);
}

std::string CutToWidth(std::string_view text, size_t width) {
    size_t pos = 0;
    for (size_t count = 0; count < width && pos < text.size(); ++count)
        DecodeUtf8(text, pos);
    return std::string(text.substr(0, pos));
}

size_t CharacterCount(std::string_view text) {
    size_t count = 0;
    for (size_t pos = 0; pos < text.size(); ++count)
        DecodeUtf8(text, pos);
    return count;
}

std::optional<std::string> PasswordRefusal(std::string_view password) {
    if (password.empty())
        return Tr("Пароль ключа не может быть пустым.");
    if (CharacterCount(password) > edit_width::kPassword)
        return TrFormat("Пароль ключа длиннее %1 символов.",
                        {std::to_string(edit_width::kPassword)});
    if (FromCp1251(ToCp1251(password)) != password)
        return Tr("Пароль ключа содержит символы вне кодировки Windows-1251.");
    return std::nullopt;
}

void RequirePasswordFitsRecord(std::string_view password) {
    if (CharacterCount(password) > subject_width::kPassword)
        throw Exception(TrFormat("Пароль ключа длиннее %1 символов: такой пароль не принимается.",
                                 {std::to_string(subject_width::kPassword)}),
                        FailureClass::BadInput);
}

SubjectData BuildSubjectData(const RequestFields& fields) {
    RequirePasswordFitsRecord(fields.password);
    constexpr std::pair<std::string SubjectFields::*, size_t> kWidths[] = {
        {&SubjectFields::Country, subject_width::kCountry},
        {&SubjectFields::State, subject_width::kState},
        {&SubjectFields::Locality, subject_width::kLocality},
        {&SubjectFields::Organization, subject_width::kOrganization},
        {&SubjectFields::OrganizUnit, subject_width::kOrganizUnit},
        {&SubjectFields::CommonName, subject_width::kCommonName},
        {&SubjectFields::Email, subject_width::kEmail},
    };
    SubjectData subject;
    subject.subject() = TrimmedSubject(fields);
    for (const auto& [field, width] : kWidths)
        subject.*field = CutToWidth(subject.*field, width);
    subject.Password = fields.password;
    subject.OpenPassw = fields.openPassword;
    return subject;
}

} // namespace cq
