#pragma once
// The service connection component: five operations over a connection handle and lists of
// values. It does the TLS and HTTP work of every exchange with the certification service.
//
// Calling order: CreateConn once at start-up; for every GET SetCertificate, SetProxy (and, when
// a CA file is configured, SetTrustedCaFile), then CommandGet; CloseConn once at the end. A
// setting applies to every CommandGet that follows until it is set again.

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace cq {

/// One element of a list: Boolean, 32-bit integer or text.
using Variant = std::variant<bool, int32_t, std::string>;
using VariantList = std::vector<Variant>;

/// Indexes of the result list that CommandGet fills.
enum CommandResult : size_t {
    kResultStatus = 0,        ///< HTTP status code (integer), 0 when no answer arrived
    kResultProtocolError = 1, ///< the HTTP status line when the status is 400 or above
    kResultErrorMessage = 2,  ///< the transfer's error message when the request failed
    kResultBody = 3,          ///< the response body, bytes unchanged (maybe gzip-compressed)
    kResultSize = 4
};

/// The largest response body the component accepts; a larger one fails the request.
inline constexpr size_t kMaxResponseBodyBytes = size_t{64} << 20;

/// The opening of a failed transfer's message when the program's own set-up is the cause (the
/// operator's certificate or key, the CA file); the library's text follows after ": ".
inline constexpr const char* kTransferSetupFailure = "Программа не настроена";
/// The opening of any other failed transfer's message (no connection, TLS, timeout, proxy).
inline constexpr const char* kTransferNetworkFailure = "Ошибка соединения с сервисом";

/// Opens a connection. `options` is [debug mode: Boolean]; in debug mode the transfer's own
/// trace goes to standard error. The window handle is not used here. Raises Exception when the
/// HTTP client cannot be set up.
int32_t CreateConn(intptr_t windowHandle, const VariantList& options);

/// [use proxy: Boolean, server: text, port: integer, user name: text, password: text]. The proxy
/// is an HTTP proxy with basic authentication; with use proxy false or an empty server the
/// request goes direct (environment proxy variables are never consulted here).
void SetProxy(int32_t handle, const VariantList& proxy);

/// [certificate file: text, key file: text], full paths of PEM files. When the certificate file
/// does not exist, the connection presents no client certificate.
void SetCertificate(int32_t handle, const VariantList& files);

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

/// One GET. `request` is [URL: text, accepted content encodings: text, key password: text]; URL
/// and password arrive escaped (the password is unescaped here). The encodings are sent as
/// Accept-Encoding and the body is returned as received. `result` becomes the four-element list
/// described by CommandResult.
void CommandGet(int32_t handle, const VariantList& request, VariantList& result);

/// Closes a connection. An unknown handle is ignored, so shutdown can always call it.
void CloseConn(int32_t handle);

} // namespace cq
