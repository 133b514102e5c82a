#include "certs/PublicKeyAct.h"

#include "base/FileUtil.h"
#include "base/ProgramInfo.h"
#include "base/StringUtil.h"
#include "base/TextCodec.h"

#include <cstdio>

namespace cq {
namespace {

std::string HexPair(unsigned char byte) {
    static constexpr char kDigits[] = "0123456789abcdef";
    return {kDigits[byte >> 4], kDigits[byte & 0x0F]};
}

const char* SeparatorAfter(size_t k) {
    if (k % 16 == 0)
        return "\\par\r\n";
    return k % 8 == 0 ? "  " : " ";
}

std::string CountryForAct(const std::string& country) {
    return LowerCase(country) == "ru" ? "Russia(ru)" : country;
}

/// Every line followed by CR LF, the last one included.
std::string WithCrLfLines(std::string_view text) {
    std::string out = ToCrLf(text);
    if (!out.empty() && !out.ends_with("\r\n"))
        out += "\r\n";
    return out;
}

PublicKeyActValues ToCp1251Values(PublicKeyActValues values) {
    for (const SubjectFieldKey& field : kSubjectFieldKeys)
        values.Subject.*field.member = ToCp1251(values.Subject.*field.member);
    for (std::string* text : {&values.Algorithm, &values.Container, &values.PublicKey,
                              &values.Prefix, &values.Modulus, &values.Postfix, &values.Exponent})
        *text = ToCp1251(*text);
    return values;
}

} // namespace

std::string HexText(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size() * 4);
    for (size_t k = 1; k <= bytes.size(); ++k) {
        text += HexPair(static_cast<unsigned char>(bytes[k - 1]));
        if (k < bytes.size())
            text += SeparatorAfter(k);
    }
    return text;
}

std::string ReplaceAll(std::string_view text,
                       const std::vector<std::pair<std::string, std::string>>& pairs) {
    std::string result(text);
    for (const auto& [pattern, replacement] : pairs)
        result = ReplaceText(result, pattern, replacement);
    return result;
}

std::string PublicKeyActPath(const std::string& folder, const std::string& email) {
    return folder + LowerCase(email) + ".rtf";
}

std::string ShortDateText(TimePoint moment) {
    const LocalDateTime local = ToLocal(moment);
    char text[16];
    std::snprintf(text, sizeof text, "%02d.%02d.%04d", local.day % 100, local.month % 100,
                  local.year % 10000);
    return text;
}

std::string FillPublicKeyAct(std::string_view templateText, const PublicKeyActValues& values,
                             const std::string& dateText) {
    return ReplaceAll(templateText, {
                                        {"$Country$", CountryForAct(values.Subject.Country)},
                                        {"$State$", values.Subject.State},
                                        {"$Locality$", values.Subject.Locality},
                                        {"$Organization$", values.Subject.Organization},
                                        {"$OrganizUnit$", values.Subject.OrganizUnit},
                                        {"$CommonName$", values.Subject.CommonName},
                                        {"$Email$", values.Subject.Email},
                                        {"$Algorithm$", values.Algorithm},
                                        {"$Container$", values.Container},
                                        {"$Date$", dateText},
                                        {"$PublicKey$", values.PublicKey},
                                        {"$Prefix$", values.Prefix},
                                        {"$Modulus$", values.Modulus},
                                        {"$Postfix$", values.Postfix},
                                        {"$Exponent$", values.Exponent},
                                    });
}

std::optional<std::string> PublicKeyActText(const std::string& templateName,
                                            const PublicKeyActValues& values, const Clock& clock) {
    const std::string templatePath = ProgramFolder() + templateName;
    if (!FileExists(templatePath))
        return std::nullopt;
    // The template's bytes are kept as they are; only the values are turned into Windows-1251.
    const std::string act = FillPublicKeyAct(ReadFileBytes(templatePath, FileKind::Document),
                                             ToCp1251Values(values), ShortDateText(clock()));
    return WithCrLfLines(act);
}

void MakePublicKeyAct(const std::string& folder, const std::string& templateName,
                      const PublicKeyActValues& values, const Clock& clock) {
    if (const std::optional<std::string> act = PublicKeyActText(templateName, values, clock))
        WriteFileAtomically(PublicKeyActPath(folder, values.Subject.Email), *act,
                            FileAccess::Shared, AtLink::Refuse);
}

} // namespace cq
