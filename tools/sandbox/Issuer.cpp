#include "Issuer.h"

#include "Files.h"
#include "Pki.h"
#include "Process.h"

#include <openssl/err.h>
#include <openssl/rand.h>

#include <cstdio>
#include <stdexcept>
#include <unistd.h>

namespace sandbox {

namespace {

constexpr long kDay = 24L * 3600;

constexpr const char* kClientExtensions = "[client]\n"
                                          "basicConstraints = critical,CA:FALSE\n"
                                          "keyUsage = critical,digitalSignature,keyEncipherment\n"
                                          "extendedKeyUsage = clientAuth,emailProtection\n"
                                          "subjectKeyIdentifier = hash\n"
                                          "authorityKeyIdentifier = keyid\n";

std::string RandomSerial() {
    unsigned char bytes[16];
    if (RAND_bytes(bytes, sizeof bytes) != 1)
        ThrowOpenSslError("no random serial");
    bytes[0] &= 0x7F;
    std::string hex = "0x";
    for (const unsigned char byte : bytes) {
        char digits[3];
        std::snprintf(digits, sizeof digits, "%02X", byte);
        hex += digits;
    }
    return hex;
}

std::string CheckedAddress(const std::string& email) {
    const std::string address = LowerAscii(email);
    if (!IsSafeFileName(address))
        throw std::runtime_error("not a usable e-mail address: " + email);
    return address;
}

bool IsGostRequestFile(const std::string& requestPath) {
    const RequestPtr request = ReadRequestFile(requestPath);
    const bool gost = HasGostKey(request.get());
    ERR_clear_error();
    return gost;
}

/// A GOST request is signed by the GOST CA (made by init when the GOST engine is installed)
/// with its own hash; every other request by the RSA CA with SHA-256.
std::vector<std::string> AuthorityArguments(const std::string& dir, bool gost) {
    if (!gost)
        return {"-CA", dir + "ca.crt", "-CAkey", dir + "ca.key", "-sha256"};
    if (!FileExists(dir + "gost-ca.crt") || !FileExists(dir + "gost-ca.key"))
        throw std::runtime_error("no GOST CA in " + dir + " (run init with the GOST engine)");
    return {"-CA", dir + "gost-ca.crt", "-CAkey", dir + "gost-ca.key"};
}

void SignWithTool(const std::string& dir, const std::string& requestPath,
                  const std::string& outputPath, int days) {
    const std::string extensions = dir + "client.ext";
    if (!FileExists(extensions))
        WriteFileAtomically(extensions, kClientExtensions);
    const bool gost = IsGostRequestFile(requestPath);
    std::vector<std::string> argv = {"openssl", "x509", "-req", "-in", requestPath};
    if (gost)
        argv.insert(argv.begin() + 2, {"-engine", "gost"});
    for (std::string& argument : AuthorityArguments(dir, gost))
        argv.push_back(std::move(argument));
    for (std::string argument :
         {std::string("-set_serial"), RandomSerial(), std::string("-days"), std::to_string(days),
          std::string("-extfile"), extensions, std::string("-extensions"), std::string("client"),
          std::string("-out"), outputPath})
        argv.push_back(std::move(argument));
    const ToolResult result = RunTool(argv);
    if (result.status != 0)
        throw std::runtime_error("openssl x509 failed (" + std::to_string(result.status) +
                                 "): " + result.output);
}

void SignExpired(const std::string& dir, const std::string& requestPath,
                 const std::string& outputPath) {
    if (IsGostRequestFile(requestPath))
        throw std::runtime_error("expired certificates are made for RSA requests only");
    const RequestPtr request = ReadRequestFile(requestPath);
    const CertificatePtr authority = ReadCertificateFile(dir + "ca.crt");
    const KeyPtr authorityKey = ReadKeyFile(dir + "ca.key");
    const CertificatePtr certificate =
        CertifyRequest(request.get(), authority.get(), authorityKey.get(), -30 * kDay, -kDay);
    WriteFileAtomically(outputPath, CertificatePem(certificate.get()));
}

} // namespace

bool IsGostRequestStored(const std::string& dir, const std::string& email) {
    const std::string path = RequestPath(dir, email);
    return FileExists(path) && IsGostRequestFile(path);
}

namespace {

constexpr int kDefaultDays = 365;

/// The request an issued certificate answers, kept beside it.
std::string IssuedRequestPath(const std::string& dir, const std::string& email) {
    return FolderPath(dir) + "issued/" + LowerAscii(email) + ".csr";
}

std::string LifetimePath(const std::string& dir, const std::string& email) {
    return FolderPath(dir) + "lifetimes/" + LowerAscii(email);
}

int LifetimeDays(const std::string& dir, const std::string& address, const IssueOptions& options) {
    if (options.days)
        return *options.days;
    const std::optional<std::string> stored = ReadWholeFile(LifetimePath(dir, address));
    try {
        return stored ? std::stoi(*stored) : kDefaultDays;
    } catch (const std::exception&) {
        throw std::runtime_error("unreadable lifetime in " + LifetimePath(dir, address));
    }
}

} // namespace

bool IsStoredRequestIssued(const std::string& dir, const std::string& email) {
    const std::optional<std::string> stored = ReadWholeFile(RequestPath(dir, email));
    return stored && ReadWholeFile(IssuedRequestPath(dir, email)) == stored;
}

void SetAddressLifetime(const std::string& dir, const std::string& email, int days) {
    const std::string address = CheckedAddress(email);
    if (days < 0)
        throw std::runtime_error("the lifetime is a number of days, 0 for the default");
    const std::string path = LifetimePath(dir, address);
    if (days == 0) {
        std::remove(path.c_str());
        return;
    }
    MakeFolder(FolderPath(dir) + "lifetimes");
    WriteFileAtomically(path, std::to_string(days) + "\n");
}

std::string RequestPath(const std::string& dir, const std::string& email) {
    return FolderPath(dir) + "requests/" + LowerAscii(email) + ".csr";
}

std::string IssuedPath(const std::string& dir, const std::string& email) {
    return FolderPath(dir) + "issued/" + LowerAscii(email) + ".crt";
}

void IssueCertificate(const std::string& dir, const std::string& email,
                      const IssueOptions& options) {
    const std::string folder = FolderPath(dir);
    const std::string address = CheckedAddress(email);
    const std::string requestPath = RequestPath(folder, address);
    const std::optional<std::string> request = ReadWholeFile(requestPath);
    if (!request)
        throw std::runtime_error("no stored request for " + address);
    MakeFolder(folder + "issued");
    const std::string finalPath = IssuedPath(folder, address);
    // The tool writes beside the final file; the rename makes the certificate appear whole.
    const std::string partPath = finalPath + ".part" + std::to_string(::getpid());
    try {
        if (options.expired)
            SignExpired(folder, requestPath, partPath);
        else
            SignWithTool(folder, requestPath, partPath, LifetimeDays(folder, address, options));
        if (std::rename(partPath.c_str(), finalPath.c_str()) != 0)
            throw std::runtime_error("cannot store " + finalPath);
        // The request as it was signed: one stored meanwhile is not issued yet.
        WriteFileAtomically(IssuedRequestPath(folder, address), *request);
    } catch (...) {
        std::remove(partPath.c_str());
        throw;
    }
}

} // namespace sandbox
