#include "Commands.h"

#include "Files.h"
#include "Issuer.h"
#include "Pki.h"
#include "Process.h"
#include "Server.h"

#include <cstdio>
#include <sys/stat.h>

namespace sandbox {

namespace {

constexpr int kKeyBits = 2048;
constexpr const char* kRequestKeyPassword = "Hrkwp(3mzqtbv";

struct Authority {
    CertificatePtr certificate;
    KeyPtr key;
};

void StoreCertificate(const std::string& path, X509* certificate) {
    WriteFileAtomically(path, CertificatePem(certificate), 0644);
}

void StoreKey(const std::string& path, EVP_PKEY* key, const std::string& password = {}) {
    WriteFileAtomically(path, KeyPem(key, password), 0600);
}

Authority LoadAuthority(const std::string& dir, const std::string& name) {
    return {ReadCertificateFile(dir + name + ".crt"), ReadKeyFile(dir + name + ".key")};
}

/// Makes DIR/name.crt and DIR/name.key for a self-signed CA unless both exist; true when new.
bool EnsureAuthority(const std::string& dir, const std::string& name,
                     const std::string& commonName) {
    if (FileExists(dir + name + ".crt") && FileExists(dir + name + ".key"))
        return false;
    const KeyPtr key = NewRsaKey(kKeyBits);
    CertificateProfile profile;
    profile.commonName = commonName;
    profile.authority = true;
    const CertificatePtr certificate = MakeCertificate(profile, key.get(), nullptr, key.get());
    StoreKey(dir + name + ".key", key.get());
    StoreCertificate(dir + name + ".crt", certificate.get());
    return true;
}

/// Makes DIR/gost-ca.crt and DIR/gost-ca.key, a self-signed GOST R 34.10-2012 CA, with the
/// openssl tool and the GOST engine unless both exist. Without the engine there is no GOST CA
/// and GOST requests cannot be issued; init still succeeds.
void EnsureGostAuthority(const std::string& dir) {
    if (FileExists(dir + "gost-ca.crt") && FileExists(dir + "gost-ca.key"))
        return;
    const std::string key = dir + "gost-ca.key";
    const ToolResult made = RunTool({"openssl", "genpkey", "-engine", "gost", "-algorithm",
                                     "gost2012_256", "-pkeyopt", "paramset:A", "-out", key});
    const ToolResult signedCa =
        made.status != 0
            ? made
            : RunTool({"openssl", "req", "-engine", "gost", "-new", "-x509", "-key", key, "-subj",
                       "/CN=CertQuorix Sandbox GOST CA", "-days", "3650", "-addext",
                       "basicConstraints=critical,CA:TRUE", "-addext",
                       "keyUsage=critical,keyCertSign,cRLSign", "-out", dir + "gost-ca.crt"});
    if (signedCa.status != 0) {
        std::remove(key.c_str());
        std::fprintf(stderr, "sandbox-ca init: no GOST CA (%s)\n", signedCa.output.c_str());
        return;
    }
    ::chmod(key.c_str(), 0600);
}

void EnsureServerCertificate(const std::string& dir, bool authorityIsNew) {
    if (!authorityIsNew && FileExists(dir + "server.crt") && FileExists(dir + "server.key"))
        return;
    const Authority authority = LoadAuthority(dir, "ca");
    const KeyPtr key = NewRsaKey(kKeyBits);
    CertificateProfile profile;
    profile.commonName = "localhost";
    profile.serverUse = true;
    profile.notAfterOffsetSeconds = 825L * 24 * 3600;
    const CertificatePtr certificate =
        MakeCertificate(profile, key.get(), authority.certificate.get(), authority.key.get());
    StoreKey(dir + "server.key", key.get());
    StoreCertificate(dir + "server.crt", certificate.get());
}

template <typename Body> int Reported(const char* command, Body body) {
    try {
        return body();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "sandbox-ca %s: %s\n", command, error.what());
        return 1;
    }
}

} // namespace

int RunInit(const std::vector<std::string>& words) {
    return Reported("init", [&] {
        const Arguments arguments(words, {});
        const std::string dir = FolderPath(arguments.required("dir"));
        MakeFolder(dir);
        const bool authorityIsNew = EnsureAuthority(dir, "ca", "CertQuorix Sandbox CA");
        EnsureServerCertificate(dir, authorityIsNew);
        EnsureAuthority(dir, "client-ca", "CertQuorix Sandbox Client CA");
        EnsureGostAuthority(dir);
        MakeFolder(dir + "requests");
        MakeFolder(dir + "issued");
        return 0;
    });
}

int RunClientCert(const std::vector<std::string>& words) {
    return Reported("client-cert", [&] {
        const Arguments arguments(words, {"self-signed"});
        const std::string dir = FolderPath(arguments.required("dir"));
        const std::string out = FolderPath(arguments.required("out"));
        MakeFolder(out);
        const KeyPtr key = NewRsaKey(kKeyBits);
        CertificateProfile profile;
        profile.clientUse = true;
        CertificatePtr certificate;
        if (arguments.flag("self-signed")) {
            profile.commonName = "Sandbox self-signed client";
            certificate = MakeCertificate(profile, key.get(), nullptr, key.get());
        } else {
            profile.commonName = "Sandbox client";
            const Authority authority = LoadAuthority(dir, "client-ca");
            certificate = MakeCertificate(profile, key.get(), authority.certificate.get(),
                                          authority.key.get());
        }
        StoreKey(out + arguments.text("key-name", "Request.key"), key.get(),
                 arguments.text("password", kRequestKeyPassword));
        StoreCertificate(out + arguments.text("cert-name", "Request.cer"), certificate.get());
        return 0;
    });
}

int RunIssue(const std::vector<std::string>& words) {
    return Reported("issue", [&] {
        const Arguments arguments(words, {"expired"});
        IssueOptions options;
        if (!arguments.text("days").empty())
            options.days = arguments.number("days", 0);
        options.expired = arguments.flag("expired");
        IssueCertificate(arguments.required("dir"), arguments.required("email"), options);
        return 0;
    });
}

int RunLifetime(const std::vector<std::string>& words) {
    return Reported("lifetime", [&] {
        const Arguments arguments(words, {});
        SetAddressLifetime(arguments.required("dir"), arguments.required("email"),
                           arguments.number("days", -1));
        return 0;
    });
}

int RunServe(const std::vector<std::string>& words) {
    return Reported("serve", [&] {
        const Arguments arguments(words, {});
        ServeOptions options;
        options.dir = arguments.required("dir");
        options.port = arguments.number("port", 0);
        options.portFile = arguments.text("port-file");
        if (!arguments.text("issue-delay").empty())
            options.issueDelaySeconds = std::stod(arguments.text("issue-delay"));
        return Serve(options);
    });
}

} // namespace sandbox
