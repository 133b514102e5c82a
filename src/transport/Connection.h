#pragma once
// The service connection component: operations over a connection handle. It does the TLS and
// HTTP work of every exchange with the certification service.
//
// Calling order: CreateConn once at start-up; for every GET SetCertificate, SetProxy (and, when
// a CA file is configured, SetTrustedCaFile), then CommandGet; CloseConn once at the end. A
// setting applies to every CommandGet that follows until it is set again.

#include "base/Errors.h"
#include "base/SecretBytes.h"
#include "base/Translate.h"

#include <cstdint>
#include <string>

namespace cq {

/// How a connection traces its work.
struct ConnectionOptions {
    bool debugMode = false; ///< the transfer's own trace goes to standard error
};

/// The HTTP proxy a request goes through, with basic authentication when a user name or a
/// password is set. With `use` false or an empty server the request goes direct (environment
/// proxy variables are never consulted here). The hosts of `bypass` (curl's no_proxy rules:
/// names separated by commas, each also covering its subdomains, "*" for all) go direct too.
struct ProxySetting {
    bool use = false;
    std::string server;
    int32_t port = 0;
    std::string userName;
    SecretBytes password;
    std::string bypass;
};

/// The client certificate the connection presents: full paths of PEM files. When the certificate
/// file does not exist, the connection presents none.
struct ClientCertificate {
    std::string certificateFile;
    std::string keyFile;
};

/// One GET.
struct GetRequest {
    std::string url;             ///< escaped, as sent
    std::string acceptEncodings; ///< sent as Accept-Encoding when not empty
    SecretBytes keyPassword;     ///< the client key's password
};

/// What a GET brought back.
struct GetResult {
    int32_t status = 0;        ///< HTTP status code, 0 when no answer arrived
    std::string protocolError; ///< the HTTP status line when the status is 400 or above
    std::string errorMessage;  ///< the transfer's error message when the request failed
    std::string body;          ///< the response body, bytes unchanged (maybe gzip-compressed)
    /// What kind of failure the request met (Other when it got an answer): the program's own
    /// set-up, the network (a proxy's refusal included), or the service's error status.
    FailureClass failure = FailureClass::Other;
};

/// The largest response body the component accepts; a larger one fails the request.
inline constexpr size_t kMaxResponseBodyBytes = size_t{64} << 20;

/// The opening of a failed transfer's message when the program's own set-up is the cause (the
/// operator's certificate or key, the CA file); the library's text follows after ": ".
inline constexpr const char* kTransferSetupFailure = TrMark("Программа не настроена");
/// The opening of any other failed transfer's message (no connection, TLS, timeout, proxy).
inline constexpr const char* kTransferNetworkFailure = TrMark("Ошибка соединения с сервисом");

/// Opens a connection. Raises Exception when the HTTP client cannot be set up.
int32_t CreateConn(const ConnectionOptions& options);

/// The proxy of the requests that follow.
void SetProxy(int32_t handle, const ProxySetting& proxy);

/// The client certificate of the requests that follow.
void SetCertificate(int32_t handle, const ClientCertificate& files);

/// A PEM file of CA certificates trusted for the server's certificate besides the system store;
/// empty for the system store alone.
void SetTrustedCaFile(int32_t handle, const std::string& caFile);

/// Time limits of a request: for the connection (TCP and TLS set-up) and for the whole
/// transfer. Defaults: 30 s and 120 s.
void SetConnectionTimeouts(int32_t handle, long connectMilliseconds, long totalMilliseconds);

/// Where the time of the handle's last request went, in microseconds from its start (for
/// diagnostics and benchmarks).
struct TransferTimings {
    long newConnections = 0; ///< 0 when an open connection was reused
    long long connected = 0; ///< TCP connection made (to the proxy, if any)
    long long tlsDone = 0;   ///< TLS handshake done
    long long firstByte = 0; ///< first byte of the answer
    long long total = 0;     ///< the whole answer read
};
TransferTimings LastTransferTimings(int32_t handle);

/// One GET; the body is returned as received. A stop request aborts it with EAbort.
GetResult CommandGet(int32_t handle, const GetRequest& request);

/// Closes a connection. An unknown handle is ignored, so shutdown can always call it.
void CloseConn(int32_t handle);

} // namespace cq
