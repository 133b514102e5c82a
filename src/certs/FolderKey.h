#pragma once
// Whether a certificate is for the key of the request its certificate folder holds, as far as
// the folder tells without any password: the public key act of the request, which is put in
// place together with the key and the record, shows the public key as hex pairs (the RSA
// modulus among the request's bytes, the GOST public key whole). A certificate for another key
// (issued for a request that was undone, or for another copy's request) is told from the
// folder's own before it can take the working certificate's place.

#include <string>
#include <string_view>

namespace cq {

enum class KeyFit {
    Unknown, ///< the folder shows no key: no act, or an act without the public key
    Fits,    ///< the certificate's public key is the one the act shows
    Foreign, ///< the folder shows a key and this is no certificate of it
};

/// The bytes an act shows as hex pairs, in order: every two hex digits that stand alone
/// between spaces, line ends, braces or RTF control words.
std::string ActHexBytes(std::string_view actText);

/// How `certificateText` (a certificate file's bytes; anything that is no certificate counts as
/// one for another key) fits the key of the request in `folder` (ending with "/") for `email`.
/// Never raises: an act that cannot be read shows no key.
KeyFit CertificateFitsFolderKey(const std::string& folder, const std::string& email,
                                std::string_view certificateText);

/// How `certificateText` fits the key the act at `actPath` shows: the whole public key of a
/// GOST request (`gost`), the modulus of an RSA one. Never raises.
KeyFit CertificateFitsAct(const std::string& actPath, bool gost, std::string_view certificateText);

} // namespace cq
