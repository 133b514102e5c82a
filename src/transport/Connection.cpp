#include "transport/Connection.h"

#include "base/Cancellation.h"
#include "base/Errors.h"
#include "base/FileUtil.h"
#include "base/SecretBytes.h"
#include "base/Translate.h"

#include <curl/curl.h>
#include <map>
#include <memory>
#include <mutex>
#include <sys/stat.h>

namespace cq {
namespace {

struct CurlEasyFree {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct CurlSlistFree {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using CurlEasy = std::unique_ptr<CURL, CurlEasyFree>;
using CurlHeaders = std::unique_ptr<curl_slist, CurlSlistFree>;

struct Connection {
    CurlEasy curl;
    /// Client certificate, key, key password and CA file of the connections the handle holds.
    SecretBytes tlsIdentity;
    bool debugMode = false;
    ProxySetting proxy;
    std::string certificateFile;
    std::string keyFile;
    std::string caFile;
    long connectMilliseconds = 30000;
    long totalMilliseconds = 120000;
    TransferTimings lastTimings;
};

/// What one transfer collects through the callbacks.
struct Transfer {
    std::string body;
    std::string statusLine;
    bool bodyTooLarge = false;
};

std::mutex tableMutex;
std::map<int32_t, std::unique_ptr<Connection>> connections;
int32_t lastHandle = 0;

Connection& Find(int32_t handle) {
    const std::lock_guard<std::mutex> lock(tableMutex);
    const auto it = connections.find(handle);
    if (it == connections.end())
        throw Exception(
            TrFormat("Неизвестный дескриптор соединения: %1", {std::to_string(handle)}));
    return *it->second;
}

bool IsRegularFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// A file curl reads must be a regular file of a plausible size: a pipe would hold the transfer
// forever, a link to a device would feed it without end. A missing file is left to curl.
void CheckFileForCurl(const std::string& path) {
    struct stat info {};
    if (!path.empty() && ::stat(path.c_str(), &info) == 0)
        CheckReadableFile(path);
}

size_t OnBody(char* data, size_t size, size_t count, void* userData) {
    auto& transfer = *static_cast<Transfer*>(userData);
    const size_t bytes = size * count;
    if (bytes > kMaxResponseBodyBytes - transfer.body.size()) {
        transfer.bodyTooLarge = true;
        return 0; // makes the transfer fail
    }
    transfer.body.append(data, bytes);
    return bytes;
}

// Keeps the last status line: a proxy tunnel answers with its own before the server does.
size_t OnHeader(char* data, size_t size, size_t count, void* userData) {
    auto& transfer = *static_cast<Transfer*>(userData);
    const size_t bytes = size * count;
    std::string line(data, bytes);
    if (line.compare(0, 5, "HTTP/") == 0) {
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
            line.pop_back();
        transfer.statusLine = line;
    }
    return bytes;
}

// Called by the transfer about once a second and on every data movement; a non-zero answer
// aborts it, so a transfer stuck on a silent server ends as soon as a stop is asked for.
int OnProgress(void*, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return CancelRequested() ? 1 : 0;
}

void ApplyProxy(CURL* curl, const ProxySetting& proxy) {
    if (!proxy.use || proxy.server.empty()) {
        curl_easy_setopt(curl, CURLOPT_PROXY, ""); // direct, whatever the environment says
        return;
    }
    curl_easy_setopt(curl, CURLOPT_PROXY, proxy.server.c_str());
    curl_easy_setopt(curl, CURLOPT_PROXYTYPE, static_cast<long>(CURLPROXY_HTTP));
    curl_easy_setopt(curl, CURLOPT_PROXYPORT, static_cast<long>(proxy.port));
    curl_easy_setopt(curl, CURLOPT_NOPROXY, proxy.bypass.c_str()); // empty: every host
    curl_easy_setopt(curl, CURLOPT_HTTPPROXYTUNNEL, 1L);
    if (!proxy.userName.empty() || !proxy.password.str().empty()) {
        curl_easy_setopt(curl, CURLOPT_PROXYAUTH, static_cast<unsigned long>(CURLAUTH_BASIC));
        curl_easy_setopt(curl, CURLOPT_PROXYUSERNAME, proxy.userName.c_str());
        curl_easy_setopt(curl, CURLOPT_PROXYPASSWORD, proxy.password.str().c_str());
    }
}

void ApplyTls(CURL* curl, const Connection& connection, const SecretBytes& keyPassword) {
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    // Servers that ask for client certificates often refuse a resumed session whose context they
    // never set (a TLS "internal error" alert); a full handshake costs little on a reconnect.
    curl_easy_setopt(curl, CURLOPT_SSL_SESSIONID_CACHE, 0L);
    CheckFileForCurl(connection.caFile);
    CheckFileForCurl(connection.certificateFile);
    CheckFileForCurl(connection.keyFile);
    if (!connection.caFile.empty()) {
        // The named file joins the system store instead of replacing it.
        curl_easy_setopt(curl, CURLOPT_CAINFO, connection.caFile.c_str());
        curl_easy_setopt(curl, CURLOPT_CAPATH, "/etc/ssl/certs");
    }
    if (!IsRegularFile(connection.certificateFile))
        return;
    curl_easy_setopt(curl, CURLOPT_SSLCERT, connection.certificateFile.c_str());
    curl_easy_setopt(curl, CURLOPT_SSLCERTTYPE, "PEM");
    curl_easy_setopt(curl, CURLOPT_SSLKEY, connection.keyFile.c_str());
    curl_easy_setopt(curl, CURLOPT_SSLKEYTYPE, "PEM");
    curl_easy_setopt(curl, CURLOPT_KEYPASSWD, keyPassword.str().c_str());
}

void ApplyRequest(CURL* curl, const Connection& connection, const std::string& url,
                  curl_slist* headers, Transfer& transfer, char* errorBuffer) {
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "https,http");
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(curl, CURLOPT_VERBOSE, connection.debugMode ? 1L : 0L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, connection.connectMilliseconds);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, connection.totalMilliseconds);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, OnBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, OnHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, OnProgress);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
}

/// A failed transfer in the user's words, and what kind of failure it is.
struct TransferFailure {
    FailureClass failure;
    std::string words;
};

TransferFailure SetupFailure(const std::string& what) {
    return {FailureClass::NotConfigured, Tr(kTransferSetupFailure) + ": " + what};
}

TransferFailure NetworkFailure(const std::string& what) {
    return {FailureClass::Network, Tr(kTransferNetworkFailure) + ": " + what};
}

/// What went wrong, for the library's code and text.
TransferFailure FailureInWords(CURLcode code, const std::string& detail) {
    switch (code) {
    case CURLE_SSL_CERTPROBLEM:
        return SetupFailure(
            Tr("не загружается сертификат или ключ оператора (Request.cer, Request.key)"));
    case CURLE_SSL_CACERT_BADFILE:
        return SetupFailure(Tr("не читается файл сертификатов сервиса (CaFile)"));
    case CURLE_COULDNT_RESOLVE_HOST:
        return NetworkFailure(Tr("адрес сервера не найден"));
    case CURLE_COULDNT_RESOLVE_PROXY:
        return NetworkFailure(Tr("адрес прокси-сервера не найден"));
    case CURLE_COULDNT_CONNECT:
        return NetworkFailure(Tr("сервер не отвечает на соединение"));
    case CURLE_OPERATION_TIMEDOUT:
        return NetworkFailure(Tr("время ожидания ответа истекло"));
    case CURLE_PEER_FAILED_VERIFICATION:
        return NetworkFailure(Tr("сертификат сервера не прошёл проверку"));
    default:
        break;
    }
    // The service refuses a connection without the operator's certificate with a TLS alert.
    if (detail.find("certificate required") != std::string::npos)
        return SetupFailure(Tr("сервис не принял сертификат оператора (Request.cer)"));
    if (code == CURLE_SSL_CONNECT_ERROR)
        return NetworkFailure(Tr("защищённое соединение не установлено"));
    return NetworkFailure(Tr("обмен с сервером прерван"));
}

TransferFailure ErrorText(CURLcode code, const char* errorBuffer, const Transfer& transfer) {
    if (transfer.bodyTooLarge)
        return {FailureClass::Refused,
                TrFormat("Ответ сервера больше %1 байт", {std::to_string(kMaxResponseBodyBytes)})};
    const std::string detail = errorBuffer[0] != '\0' ? errorBuffer : curl_easy_strerror(code);
    TransferFailure failure = FailureInWords(code, detail);
    failure.words += " (" + detail + ")";
    return failure;
}

/// The HTTP status of the answer; `fromProxy` tells that a proxy which refused the tunnel
/// answered instead of the server.
int32_t StatusOf(CURL* curl, bool& fromProxy) {
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    fromProxy = false;
    if (status == 0) {
        curl_easy_getinfo(curl, CURLINFO_HTTP_CONNECTCODE, &status);
        fromProxy = status != 0;
    }
    return static_cast<int32_t>(status);
}

TransferTimings TimingsOf(CURL* curl) {
    TransferTimings timings;
    curl_off_t value = 0;
    curl_easy_getinfo(curl, CURLINFO_NUM_CONNECTS, &timings.newConnections);
    for (auto [info, target] : {std::pair{CURLINFO_CONNECT_TIME_T, &timings.connected},
                                {CURLINFO_APPCONNECT_TIME_T, &timings.tlsDone},
                                {CURLINFO_STARTTRANSFER_TIME_T, &timings.firstByte},
                                {CURLINFO_TOTAL_TIME_T, &timings.total}})
        if (curl_easy_getinfo(curl, info, &value) == CURLE_OK)
            *target = value;
    return timings;
}

// Which file a path names now and when it last changed ("" when there is none).
std::string FileState(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return {};
    return std::to_string(info.st_ino) + ':' + std::to_string(info.st_size) + ':' +
           std::to_string(info.st_mtim.tv_sec) + '.' + std::to_string(info.st_mtim.tv_nsec);
}

// The handle's HTTP client, made by its first request. An open TLS connection keeps the client
// certificate it was made with, and the HTTP client reuses it without comparing certificate, key
// or password: a change of any of them, or of the files, gives a fresh client, closing them all.
void PrepareClientFor(Connection& connection, const SecretBytes& keyPassword) {
    SecretBytes identity(connection.certificateFile + '\0' + FileState(connection.certificateFile) +
                         '\0' + connection.keyFile + '\0' + FileState(connection.keyFile) + '\0' +
                         keyPassword.str() + '\0' + connection.caFile + '\0' +
                         FileState(connection.caFile));
    if (connection.curl && identity.str() == connection.tlsIdentity.str())
        return;
    static std::once_flag globalInit;
    std::call_once(globalInit, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    CurlEasy fresh(curl_easy_init());
    if (!fresh)
        throw Exception(Tr("Не удалось создать соединение HTTP"));
    connection.curl = std::move(fresh);
    connection.tlsIdentity = std::move(identity);
}

} // namespace

int32_t CreateConn(const ConnectionOptions& options) {
    // The HTTP and TLS libraries are set up by the first request, not here: start-up stays
    // short and small for a run that never talks to the service.
    auto connection = std::make_unique<Connection>();
    connection->debugMode = options.debugMode;
    const std::lock_guard<std::mutex> lock(tableMutex);
    const int32_t handle = ++lastHandle;
    connections.emplace(handle, std::move(connection));
    return handle;
}

void SetProxy(int32_t handle, const ProxySetting& proxy) {
    ProxySetting& kept = Find(handle).proxy;
    kept.use = proxy.use;
    kept.server = proxy.server;
    kept.port = proxy.port;
    kept.userName = proxy.userName;
    kept.password = SecretBytes(proxy.password.str());
    kept.bypass = proxy.bypass;
}

void SetCertificate(int32_t handle, const ClientCertificate& files) {
    Connection& connection = Find(handle);
    connection.certificateFile = files.certificateFile;
    connection.keyFile = files.keyFile;
}

void SetTrustedCaFile(int32_t handle, const std::string& caFile) {
    Find(handle).caFile = caFile;
}

void SetConnectionTimeouts(int32_t handle, long connectMilliseconds, long totalMilliseconds) {
    Connection& connection = Find(handle);
    connection.connectMilliseconds = connectMilliseconds;
    connection.totalMilliseconds = totalMilliseconds;
}

GetResult CommandGet(int32_t handle, const GetRequest& request) {
    const std::string& encodings = request.acceptEncodings;
    const SecretBytes& keyPassword = request.keyPassword;
    Connection& connection = Find(handle);
    PrepareClientFor(connection, keyPassword);
    CURL* curl = connection.curl.get();
    curl_easy_reset(curl); // keeps the open connection for the next request

    CurlHeaders headers;
    if (!encodings.empty()) {
        headers.reset(curl_slist_append(nullptr, ("Accept-Encoding: " + encodings).c_str()));
        if (!headers)
            throw Exception("Insufficient memory");
    }
    Transfer transfer;
    char errorBuffer[CURL_ERROR_SIZE] = {};
    ApplyRequest(curl, connection, request.url, headers.get(), transfer, errorBuffer);
    ApplyProxy(curl, connection.proxy);
    ApplyTls(curl, connection, keyPassword);
    ThrowIfCancelled();
    const CURLcode code = curl_easy_perform(curl);
    bool fromProxy = false;
    const int32_t status = StatusOf(curl, fromProxy);
    connection.lastTimings = TimingsOf(curl);
    // The options point at texts of this call; none may outlive it.
    curl_easy_reset(curl);
    if (code == CURLE_ABORTED_BY_CALLBACK)
        ThrowIfCancelled();

    GetResult result;
    result.status = status;
    if (status >= 400) {
        result.protocolError =
            transfer.statusLine.empty() ? "HTTP " + std::to_string(status) : transfer.statusLine;
        result.failure = fromProxy ? FailureClass::Network : FailureClass::Refused;
    }
    if (code != CURLE_OK) {
        TransferFailure failure = ErrorText(code, errorBuffer, transfer);
        result.errorMessage = std::move(failure.words);
        if (status < 400)
            result.failure = failure.failure;
    }
    result.body = std::move(transfer.body);
    return result;
}

TransferTimings LastTransferTimings(int32_t handle) {
    return Find(handle).lastTimings;
}

void CloseConn(int32_t handle) {
    std::unique_ptr<Connection> closing;
    const std::lock_guard<std::mutex> lock(tableMutex);
    const auto it = connections.find(handle);
    if (it == connections.end())
        return;
    closing = std::move(it->second);
    connections.erase(it);
}

} // namespace cq
