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

/// A request whose key this process cannot decode is a GOST one: the tool then needs the
/// GOST engine to check the request's signature.
bool NeedsGostEngine(const std::string& requestPath) {
    const RequestPtr request = ReadRequestFile(requestPath);
    const bool decoded = X509_REQ_get0_pubkey(request.get()) != nullptr;
    ERR_clear_error();
    return !decoded;
}

void SignWithTool(const std::string& dir, const std::string& requestPath,
                  const std::string& outputPath, int days) {
    const std::string extensions = dir + "client.ext";
    if (!FileExists(extensions))
        WriteFileAtomically(extensions, kClientExtensions);
    std::vector<std::string> argv = {"openssl",
                                     "x509",
                                     "-req",
                                     "-in",
                                     requestPath,
                                     "-CA",
                                     dir + "ca.crt",
                                     "-CAkey",
                                     dir + "ca.key",
                                     "-set_serial",
                                     RandomSerial(),
                                     "-days",
                                     std::to_string(days),
                                     "-sha256",
                                     "-extfile",
                                     extensions,
                                     "-extensions",
                                     "client",
                                     "-out",
                                     outputPath};
    if (NeedsGostEngine(requestPath))
        argv.insert(argv.begin() + 2, {"-engine", "gost"});
    const ToolResult result = RunTool(argv);
    if (result.status != 0)
        throw std::runtime_error("openssl x509 failed (" + std::to_string(result.status) +
                                 "): " + result.output);
}

void SignExpired(const std::string& dir, const std::string& requestPath,
                 const std::string& outputPath) {
    const RequestPtr request = ReadRequestFile(requestPath);
    const CertificatePtr authority = ReadCertificateFile(dir + "ca.crt");
    const KeyPtr authorityKey = ReadKeyFile(dir + "ca.key");
    const CertificatePtr certificate =
        CertifyRequest(request.get(), authority.get(), authorityKey.get(), -30 * kDay, -kDay);
    WriteFileAtomically(outputPath, CertificatePem(certificate.get()));
}

} // namespace

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
    if (!FileExists(requestPath))
        throw std::runtime_error("no stored request for " + address);
    MakeFolder(folder + "issued");
    const std::string finalPath = IssuedPath(folder, address);
    // The tool writes beside the final file; the rename makes the certificate appear whole.
    const std::string partPath = finalPath + ".part" + std::to_string(::getpid());
    try {
        if (options.expired)
            SignExpired(folder, requestPath, partPath);
        else
            SignWithTool(folder, requestPath, partPath, options.days);
        if (std::rename(partPath.c_str(), finalPath.c_str()) != 0)
            throw std::runtime_error("cannot store " + finalPath);
    } catch (...) {
        std::remove(partPath.c_str());
        throw;
    }
}

} // namespace sandbox
