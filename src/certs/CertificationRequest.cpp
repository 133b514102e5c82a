#include "certs/CertificationRequest.h"

#include "certs/Der.h"

namespace cq {
namespace {

std::string NameAttribute(const char* oid, const std::string& encodedValue) {
    return der::Set({der::Sequence({der::Oid(oid), encodedValue})});
}

} // namespace

std::string SubjectName(const SubjectValues& encoded) {
    return der::Sequence({
        NameAttribute("2.5.4.6", encoded.Country),
        NameAttribute("2.5.4.8", encoded.State),
        NameAttribute("2.5.4.7", encoded.Locality),
        NameAttribute("2.5.4.10", encoded.Organization),
        NameAttribute("2.5.4.11", encoded.OrganizUnit),
        NameAttribute("2.5.4.3", encoded.CommonName),
        NameAttribute("1.2.840.113549.1.9.1", encoded.Email),
    });
}

std::string CertificationRequestInfo(std::string_view name, std::string_view publicKeyInfo,
                                     std::string_view attributes) {
    return der::Sequence(
        {der::SmallInteger(0), name, publicKeyInfo, der::ContextConstructed(0, attributes)});
}

std::string RequestAttribute(const char* oid, std::string_view encodedValue) {
    return der::Sequence({der::Oid(oid), der::Set({encodedValue})});
}

std::string SignedCertificationRequest(std::string_view requestInfo, RequestSigner& signer) {
    const std::string algorithm = signer.algorithmIdentifier();
    const std::string signature = signer.sign(requestInfo);
    return der::Sequence({requestInfo, algorithm, der::BitString(signature)});
}

} // namespace cq
