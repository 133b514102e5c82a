#pragma once
// Launchers for the real pieces the network tests talk to: the sandbox certification service
// (sandbox-ca) and a tinyproxy with basic authentication, both on loopback.

#include "TestSupport.h"

#include <string>
#include <sys/types.h>
#include <vector>

namespace cq::test {

/// The sandbox certification service in a private state folder, serving HTTPS on a free port.
class SandboxServer {
public:
    /// Creates a private state folder, runs `sandbox-ca init`, starts `serve` on a free port with
    /// the extra arguments, and waits (bounded) until the port file appears.
    explicit SandboxServer(const std::vector<std::string>& extraServeArguments = {});
    /// Stops the server (SIGTERM, then SIGKILL) and removes the folder.
    ~SandboxServer();
    SandboxServer(const SandboxServer&) = delete;
    SandboxServer& operator=(const SandboxServer&) = delete;

    /// The state folder with a trailing "/".
    const std::string& dir() const;
    int port() const;
    /// "https://localhost:" + port + path.
    std::string url(const std::string& path) const;
    /// The CA a client must trust: dir() + "ca.crt".
    std::string caFile() const;
    /// Writes Request.cer / Request.key (signed by the client CA, or self-signed) into
    /// programFolder; the key is encrypted with the password.
    void writeClientCertificate(const std::string& programFolder,
                                const std::string& password = "Hrkwp(3mzqtbv",
                                bool selfSigned = false) const;
    /// Issues the stored request of the address (expired: notAfter in the past); throws on
    /// failure. `days` > 0 sets the validity (the service's default otherwise).
    void issue(const std::string& email, bool expired = false, int days = 0) const;
    /// Every later certificate of the address lasts `days` days (0: the default again).
    void setLifetime(const std::string& email, int days) const;
    /// Switches the server's fault ("" clears it); slowSeconds is the delay of "slow".
    void setFault(const std::string& fault, int slowSeconds = 5) const;
    /// The stored request of the address, "" when none.
    std::string storedRequest(const std::string& email) const;

private:
    TempDir folder_;
    std::string dir_;
    pid_t pid_ = -1;
    int port_ = 0;
};

/// Points the settings in force at the service: the client certificate written into
/// programFolder, the built-in key password, the service's CA and its request and receive URLs.
void UseSandboxService(const SandboxServer& server, const std::string& programFolder);

/// A real tinyproxy on loopback with basic authentication, started on a free port; it listens
/// on 127.0.0.1 unless another loopback address ("::1") is given.
class TinyProxy {
public:
    TinyProxy(const std::string& user, const std::string& password,
              const std::string& listenAddress = "127.0.0.1");
    ~TinyProxy();
    TinyProxy(const TinyProxy&) = delete;
    TinyProxy& operator=(const TinyProxy&) = delete;
    int port() const;

private:
    TempDir folder_;
    pid_t pid_ = -1;
    int port_ = 0;
};

} // namespace cq::test
