#pragma once
// The input rules of the request tab as plain functions over field texts: which characters each
// field accepts, the paste check, when the two request buttons are enabled, and the building of
// SubjectData. The window and the command-line tool both call them.

#include "base/SubjectData.h"

#include <optional>
#include <string>
#include <string_view>

namespace cq {

/// Which character set guards a field.
enum class FieldFilter {
    Subject, ///< country, state, locality, organization, unit, common name
    Email,   ///< the e-mail address
    None     ///< passwords and every other edit: not filtered
};

/// Space, "-", ".", "0"-"9", "@", "A"-"Z", "a"-"z".
bool IsSubjectChar(char32_t c);
/// "-", ".", "0"-"9", "@", "_", "a"-"z".
bool IsEmailChar(char32_t c);
/// True when every character of the UTF-8 text belongs to the filter's set; bytes that are not
/// well-formed UTF-8 belong to no set.
bool FitsFilter(FieldFilter filter, std::string_view text);

/// True when a typed character may enter a field: it is in the field's set, or it is Backspace.
bool TypedCharPasses(FieldFilter filter, char32_t key);

/// The error text for a paste that the field refuses, or nothing when the paste may go in.
std::optional<std::string> PasteRefusal(FieldFilter filter, std::string_view clipboardText);

/// True when the common name's last characters equal `domain` exactly (case-sensitive).
bool EndsWithOperatorDomain(std::string_view commonName, std::string_view domain);

/// The texts of the request tab as they stand (untrimmed): the subject, the key's password and
/// the GOST choice.
struct RequestFields : SubjectFields {
    RequestFields() { Country = "ru"; }
    std::string password;
    std::string password2;
    bool openPassword = false;
    std::string provider;  ///< the GOST provider list's text
    std::string container; ///< the GOST container field's text
};

/// True when the trimmed common name holds a character outside the subject set (the labels of
/// the edited fields turn red while this holds).
bool CommonNameIsBad(const RequestFields& fields);

/// The address holds "@" and its first "@" is not its first character.
bool EmailLooksUsable(std::string_view email);

/// Why an address cannot name a certificate folder, or nothing when it can. Its trimmed,
/// lower-cased form must hold only the characters of the e-mail field and an "@" that is not
/// its first character, so that no address reaches outside the data folder ("..", "."). Every
/// operation that maps an address to its folder asks this first.
std::optional<std::string> AddressRefusal(std::string_view email);

/// Enabling rule of the RSA send button.
bool RsaSendEnabled(const RequestFields& fields, std::string_view operatorDomain);
/// Enabling rule of the GOST start button.
bool GostStartEnabled(const RequestFields& fields, std::string_view operatorDomain);

/// How many characters each edit lets the user type or paste.
namespace edit_width {
inline constexpr size_t kCountry = 2;
inline constexpr size_t kState = 20;
inline constexpr size_t kLocality = 50;
inline constexpr size_t kOrganization = 50;
inline constexpr size_t kOrganizUnit = 50;
inline constexpr size_t kCommonName = 50;
inline constexpr size_t kEmail = 40;
inline constexpr size_t kPassword = 16;
} // namespace edit_width

/// The widths of the SubjectData fields.
namespace subject_width {
inline constexpr size_t kCountry = 3;
inline constexpr size_t kState = 20;
inline constexpr size_t kLocality = 50;
inline constexpr size_t kOrganization = 50;
inline constexpr size_t kOrganizUnit = 50;
inline constexpr size_t kCommonName = 50;
inline constexpr size_t kEmail = 50;
inline constexpr size_t kPassword = 20;
} // namespace subject_width

/// The first `width` characters of a UTF-8 text (each byte of a malformed sequence counts as one).
std::string CutToWidth(std::string_view text, size_t width);
/// The number of characters of a UTF-8 text.
size_t CharacterCount(std::string_view text);

/// Why a new key password cannot be taken, or nothing when it can: it must not be empty, must
/// fit the password field (edit_width::kPassword characters) and must consist of characters of
/// Windows-1251, whose bytes lock the key file. The window and the command-line tool both ask.
std::optional<std::string> PasswordRefusal(std::string_view password);

/// Raises Exception when a password is longer than the SubjectData record holds
/// (subject_width::kPassword): a password is never cut, since the key would then be locked with
/// another password than the user gave.
void RequirePasswordFitsRecord(std::string_view password);

/// The subject fields trimmed and cut to their widths, the password exactly as typed, and the
/// open-password flag. Raises Exception (RequirePasswordFitsRecord) for a password longer than
/// the record's width.
SubjectData BuildSubjectData(const RequestFields& fields);

} // namespace cq
