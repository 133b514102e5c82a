#include "certs/FolderKey.h"

#include "base/FileUtil.h"
#include "base/StringUtil.h"
#include "certs/CertificateCheck.h"
#include "certs/GostRequest.h"
#include "certs/PublicKeyAct.h"
#include "settings/CertFolders.h"

#include <optional>

namespace cq {
namespace {

/// Fewer bytes than any public key the service issues for: a date or a number in the act's
/// text is no key.
constexpr size_t kShortestKey = 32;

bool IsWordCharacter(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

/// A pair at `i` stands alone: nothing of a word before or after it, and it is not the code of
/// an RTF character (\'hh) or part of a control word.
bool StandsAlone(std::string_view text, size_t i) {
    if (i > 0 && (IsWordCharacter(text[i - 1]) || text[i - 1] == '\'' || text[i - 1] == '\\'))
        return false;
    return i + 2 >= text.size() || !IsWordCharacter(text[i + 2]);
}

/// The bytes the act at `act` shows; nothing when there is no act to read.
std::optional<std::string> ActFileBytes(const std::string& act) {
    try {
        if (!FileExists(act))
            return std::nullopt;
        return ActHexBytes(ReadFileBytes(act, FileKind::Document));
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

/// The certificate's public key as an act shows it: the RSA modulus, or the GOST key's bytes.
std::string CertificateKeyBytes(bool gost, std::string_view certificateText) {
    try {
        const CertificateContent certificate =
            ReadCertificate(certificateText, {}, kCertificateFile);
        if (gost)
            return PublicKeyBytes(certificate.PublicKeyInfo);
        return certificate.RsaKey ? certificate.Modulus : std::string();
    } catch (const std::exception&) {
        return {};
    }
}

} // namespace

std::string ActHexBytes(std::string_view actText) {
    std::string bytes;
    for (size_t i = 0; i + 1 < actText.size(); ++i) {
        const int high = HexDigitValue(actText[i]);
        const int low = HexDigitValue(actText[i + 1]);
        if (high < 0 || low < 0 || !StandsAlone(actText, i))
            continue;
        bytes += static_cast<char>(high * 16 + low);
        ++i;
    }
    return bytes;
}

KeyFit CertificateFitsFolderKey(const std::string& folder, const std::string& email,
                                std::string_view certificateText) {
    std::optional<bool> gost;
    try {
        gost = IsGostRequest(folder);
    } catch (const std::exception&) {
        // A record that cannot be read tells no key kind: no certificate is taken for the key.
    }
    const KeyFit fit = CertificateFitsAct(PublicKeyActPath(folder, LowerCase(Trim(email))),
                                          gost.value_or(false), certificateText);
    return !gost && fit == KeyFit::Fits ? KeyFit::Foreign : fit;
}

KeyFit CertificateFitsAct(const std::string& actPath, bool gost, std::string_view certificateText) {
    const std::optional<std::string> shown = ActFileBytes(actPath);
    if (!shown || shown->size() < kShortestKey)
        return KeyFit::Unknown;
    const std::string key = CertificateKeyBytes(gost, certificateText);
    return key.size() >= kShortestKey && shown->find(key) != std::string::npos ? KeyFit::Fits
                                                                               : KeyFit::Foreign;
}

} // namespace cq
