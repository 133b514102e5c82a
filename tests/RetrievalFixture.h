#pragma once
// Shared pieces of the retrieval tests: a certificate folder filled from the fixtures under
// tests/data/retrieval, local moments for the injected clock, and small DER/PEM builders for
// hand-made keys.

#include "TestSupport.h"
#include "base/Clock.h"

#include <string>
#include <vector>

namespace cq::test {

/// The password of the encrypted fixture keys (Windows-1251 bytes in the files).
inline constexpr const char* kFixturePassword = "Ключ 2024";
inline constexpr const char* kFixtureEmail = "ivan@example.ru";

/// A program folder of its own with the certificate folder of kFixtureEmail in it.
class CertificateFolderFixture {
public:
    CertificateFolderFixture();
    /// Copies tests/data/retrieval/<fixture> to <folder>/<fileName>.
    void put(const std::string& fixture, const std::string& fileName) const;
    /// Writes bytes to <folder>/<fileName>.
    void write(const std::string& fileName, const std::string& bytes) const;
    const std::string& folder() const { return folder_; }
    const std::string& programFolder() const { return program_.path(); }

private:
    TempDir program_;
    std::string folder_;
};

/// tests/data/retrieval/<name>.
std::string RetrievalData(const std::string& name);

/// A clock that always reads `moment`.
Clock FixedClock(TimePoint moment);

std::string DerInteger(const std::string& content);
std::string DerSequence(const std::string& content);
/// PEM armour with LF line ends; `headers` (lines ending in LF) are followed by an empty line.
std::string PemText(const std::string& label, const std::string& der,
                    const std::string& headers = {});
/// The DER inside a PEM file (first block, in clear).
std::string PemBody(const std::string& pemText);

/// Sets an environment variable for the lifetime of the object, then restores it.
class ScopedEnvironment {
public:
    ScopedEnvironment(const std::string& name, const std::string& value);
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    std::string name_;
    bool had_ = false;
    std::string old_;
};

/// Writes an executable shell script.
void WriteScript(const std::string& path, const std::string& body);

} // namespace cq::test

namespace cq::test {

class SandboxServer;

/// A program folder of its own talking to a sandbox service: the request certificate in the
/// folder, the service URLs and CA in the settings, an open connection.
class SandboxClient {
public:
    explicit SandboxClient(const SandboxServer& server);
    ~SandboxClient();
    SandboxClient(const SandboxClient&) = delete;
    SandboxClient& operator=(const SandboxClient&) = delete;
    const std::string& programFolder() const { return program_.path(); }
    /// The same settings as a CertQuorix.ini text for the command-line tool.
    std::string settingsFile() const;
    /// Sends an RSA request for `email` with the key password (through RequestRsaCertificate).
    void request(const std::string& email, const std::string& password) const;

private:
    const SandboxServer& server_;
    TempDir program_;
    int32_t connection_ = 0;
};

} // namespace cq::test
