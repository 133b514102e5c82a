#pragma once
// The public key act: an RTF document made from a template in the program folder by replacing
// its $Name$ placeholders with the request's values.

#include "base/Clock.h"
#include "base/SubjectData.h"

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace cq {

inline constexpr const char* kRsaActTemplate = "PublicKeyAct RSA.rtf";
inline constexpr const char* kGostActTemplate = "PublicKeyAct Gost.rtf";

/// Key bytes as lower-case hex pairs: one space between pairs, two after every 8th pair of a
/// line, "\par" + CR LF after every 16th pair (not after the last one).
std::string HexText(std::string_view bytes);

/// For each (pattern, replacement) pair in list order, every occurrence of the pattern in the
/// current text is replaced, case-sensitively; each pair works on the result of the previous one.
std::string ReplaceAll(std::string_view text,
                       const std::vector<std::pair<std::string, std::string>>& pairs);

/// The values an act shows (UTF-8 texts).
struct PublicKeyActValues {
    SubjectFields Subject;
    std::string Algorithm;
    std::string Container;
    std::string PublicKey;
    std::string Prefix;
    std::string Modulus;
    std::string Postfix;
    std::string Exponent;
};

/// The act's file name in a folder: folder + lower-cased address + ".rtf".
std::string PublicKeyActPath(const std::string& folder, const std::string& email);

/// The date as the act shows it: DD.MM.YYYY.
std::string ShortDateText(TimePoint moment);

/// The template text with the fifteen placeholders replaced in their fixed order (template and
/// values in the same encoding).
std::string FillPublicKeyAct(std::string_view templateText, const PublicKeyActValues& values,
                             const std::string& dateText);

/// The act's bytes (Windows-1251, CR LF after every line) made from ProgramFolder +
/// templateName, or nothing when the template does not exist. Raises when it cannot be read.
std::optional<std::string> PublicKeyActText(const std::string& templateName,
                                            const PublicKeyActValues& values,
                                            const Clock& clock = SystemClock());

/// Reads ProgramFolder + templateName (Windows-1251), fills it and writes the act into `folder`
/// (Windows-1251, CR LF after every line), replacing an older one. Returns at once, silently,
/// when the template does not exist. Raises on read and write errors.
void MakePublicKeyAct(const std::string& folder, const std::string& templateName,
                      const PublicKeyActValues& values, const Clock& clock = SystemClock());

} // namespace cq
