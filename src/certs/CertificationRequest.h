#pragma once
// The PKCS#10 certification request that both request kinds build on the DER writer: the
// subject's seven attributes in their fixed order, the request information, and the signed
// request over a signer (an RSA key held in memory, or a provider's key container).

#include <string>
#include <string_view>

namespace cq {

/// Signs the request information.
class RequestSigner {
public:
    virtual ~RequestSigner() = default;
    /// The signatureAlgorithm AlgorithmIdentifier (DER).
    virtual std::string algorithmIdentifier() const = 0;
    /// The bytes of the signature BIT STRING, over the DER of the request information.
    virtual std::string sign(std::string_view requestInfo) = 0;
};

/// The encoded values (complete string elements) of the seven subject attributes.
struct SubjectValues {
    std::string Country;
    std::string State;
    std::string Locality;
    std::string Organization;
    std::string OrganizUnit;
    std::string CommonName;
    std::string Email;
};

/// The subject Name: countryName, stateOrProvinceName, localityName, organizationName,
/// organizationalUnitName, commonName and emailAddress, one RDN each, in this order.
std::string SubjectName(const SubjectValues& encoded);

/// CertificationRequestInfo: version 0, the name, the public key information unchanged and the
/// attributes [0] holding the encoded Attribute elements in the order given ("" gives A0 00).
std::string CertificationRequestInfo(std::string_view name, std::string_view publicKeyInfo,
                                     std::string_view attributes);

/// One Attribute: its type and a SET of one value.
std::string RequestAttribute(const char* oid, std::string_view encodedValue);

/// CertificationRequest: the information, the signer's algorithm and its signature.
std::string SignedCertificationRequest(std::string_view requestInfo, RequestSigner& signer);

} // namespace cq
