#include "RetrievalFixture.h"

#include "base/FileUtil.h"
#include "settings/CertFolders.h"

#include <cstdlib>
#include <ctime>
#include <openssl/evp.h>
#include <stdexcept>
#include <sys/stat.h>

namespace cq::test {
namespace {

std::string DerLength(size_t length) {
    if (length < 0x80)
        return std::string(1, static_cast<char>(length));
    std::string octets;
    for (size_t rest = length; rest; rest >>= 8)
        octets.insert(octets.begin(), static_cast<char>(rest & 0xFF));
    return std::string(1, static_cast<char>(0x80 | octets.size())) + octets;
}

} // namespace

CertificateFolderFixture::CertificateFolderFixture() {
    UseProgramFolder(program_.path());
    folder_ = CertificateFolder(kFixtureEmail);
    ForceDirectories(folder_);
}

void CertificateFolderFixture::put(const std::string& fixture, const std::string& fileName) const {
    write(fileName, ReadFile(RetrievalData(fixture)));
}

void CertificateFolderFixture::write(const std::string& fileName, const std::string& bytes) const {
    WriteFile(folder_ + fileName, bytes);
}

std::string RetrievalData(const std::string& name) {
    return TestData("retrieval/" + name);
}

Clock FixedClock(TimePoint moment) {
    return [moment] {
        return moment;
    };
}

std::string DerInteger(const std::string& content) {
    return "\x02" + DerLength(content.size()) + content;
}

std::string DerSequence(const std::string& content) {
    return "\x30" + DerLength(content.size()) + content;
}

std::string PemText(const std::string& label, const std::string& der, const std::string& headers) {
    std::string base64(4 * ((der.size() + 2) / 3) + 1, '\0');
    const int length = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(base64.data()),
                                       reinterpret_cast<const unsigned char*>(der.data()),
                                       static_cast<int>(der.size()));
    base64.resize(static_cast<size_t>(length));
    std::string text = "-----BEGIN " + label + "-----\n";
    if (!headers.empty())
        text += headers + "\n";
    for (size_t i = 0; i < base64.size(); i += 64)
        text += base64.substr(i, 64) + "\n";
    return text + "-----END " + label + "-----\n";
}

std::string PemBody(const std::string& pemText) {
    std::string base64;
    size_t pos = pemText.find('\n') + 1;
    while (pos < pemText.size() && pemText.compare(pos, 5, "-----") != 0) {
        const size_t end = pemText.find('\n', pos);
        base64 += pemText.substr(pos, end - pos);
        pos = end + 1;
    }
    std::string der(base64.size(), '\0');
    const int length = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(der.data()),
                                       reinterpret_cast<const unsigned char*>(base64.data()),
                                       static_cast<int>(base64.size()));
    if (length < 0)
        throw std::runtime_error("bad Base64 in fixture");
    der.resize(static_cast<size_t>(length) - (base64.size() - base64.find_last_not_of('=') - 1));
    return der;
}

ScopedEnvironment::ScopedEnvironment(const std::string& name, const std::string& value)
    : name_(name) {
    if (const char* old = std::getenv(name.c_str())) {
        had_ = true;
        old_ = old;
    }
    ::setenv(name.c_str(), value.c_str(), 1);
}

ScopedEnvironment::~ScopedEnvironment() {
    if (had_)
        ::setenv(name_.c_str(), old_.c_str(), 1);
    else
        ::unsetenv(name_.c_str());
}

void WriteScript(const std::string& path, const std::string& body) {
    WriteFile(path, "#!/bin/sh\n" + body);
    ::chmod(path.c_str(), 0755);
}

} // namespace cq::test

#include "SandboxServer.h"
#include "app/AppServer.h"
#include "certs/Submission.h"
#include "settings/SettingsValues.h"
#include "transport/Connection.h"

namespace cq::test {
namespace {

TAppServer& TestAppServer() {
    static TAppServer server(false);
    return server;
}

} // namespace

SandboxClient::SandboxClient(const SandboxServer& server) : server_(server) {
    UseProgramFolder(program_.path());
    UseSandboxService(server, program_.path());
    connection_ = CreateConn({});
    TestAppServer().ConnectionHandle = connection_;
    SetAppServer(&TestAppServer());
}

SandboxClient::~SandboxClient() {
    CloseConn(connection_);
    SetAppServer(nullptr);
}

std::string SandboxClient::settingsFile() const {
    return "[HTTPS]\r\nUrlRequestRSACertificate=" + server_.url("/requp/") +
           "\r\nUrlReceiveRSACertificate=" + server_.url("/certget/") +
           "\r\nUrlRequestGostCertificate=" + server_.url("/requp/") +
           "\r\nUrlReceiveGostCertificate=" + server_.url("/certget/") +
           "\r\nCaFile=" + server_.caFile() + "\r\n[Proxy]\r\nUse=0\r\n";
}

void SandboxClient::request(const std::string& email, const std::string& password) const {
    if (!RequestRsaCertificate(kCertificateKeyFile, SampleSubject(email, password)))
        throw std::runtime_error("the request for " + email + " was not accepted");
}

} // namespace cq::test
