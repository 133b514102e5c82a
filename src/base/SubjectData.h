#pragma once
// The subject of a certificate request: the seven texts every request form, request record and
// act holds, in one struct, so they are copied whole and never field by field.

#include <array>
#include <string>

namespace cq {

/// The seven subject texts.
struct SubjectFields {
    std::string Country;
    std::string State;
    std::string Locality;
    std::string Organization;
    std::string OrganizUnit;
    std::string CommonName;
    std::string Email;

    /// The fields alone, for a whole copy into or out of a struct that holds them with more.
    SubjectFields& subject() { return *this; }
    const SubjectFields& subject() const { return *this; }
};

/// A field and its key in the settings file and the request record (section Cert).
struct SubjectFieldKey {
    std::string SubjectFields::*member;
    const char* key;
};

/// The fields in the order above, for work done alike on each.
inline constexpr std::array<SubjectFieldKey, 7> kSubjectFieldKeys = {{
    {&SubjectFields::Country, "Country"},
    {&SubjectFields::State, "State"},
    {&SubjectFields::Locality, "Locality"},
    {&SubjectFields::Organization, "Organization"},
    {&SubjectFields::OrganizUnit, "OrganizUnit"},
    {&SubjectFields::CommonName, "CommonName"},
    {&SubjectFields::Email, "Email"},
}};

/// The fields with blanks trimmed at both ends.
SubjectFields TrimmedSubject(const SubjectFields& fields);

/// The subject of an RSA request as the window (or the command line) hands it on, with the
/// password of its key.
struct SubjectData : SubjectFields {
    std::string Password;
    bool OpenPassw = false;
};

} // namespace cq
