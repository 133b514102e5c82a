// Transport speed, measured in one run against named references:
//  1. HTTPSGet of a 1 MiB body sent gzip-compressed by the sandbox service, with a new
//     connection per GET and with the connection kept as in use, against `curl --compressed` of
//     the same URL with the same client certificate and the same trust store (a process per
//     run); the three are interleaved run by run, so a change in the machine's load falls on
//     all of them alike. Where the time of one HTTPSGet goes is printed beside it;
//  2. the gzip unpacking of this program against `gzip -dc` of the same bytes (a process per
//     run reading a file, output to /dev/null, wall time including the process start), and
//     against zlib's own gzip inflate of the same bytes in memory into a buffer allocated and
//     touched once before the runs: the limit of any unpacking with zlib. GunzipBodyInto a
//     string used again writes into touched memory as that limit does; GunzipBody makes a new
//     string per call, and is set beside zlib inflating into new memory per call (mapped on
//     huge-page boundaries and advised for huge pages), to show what the first touch of new
//     memory costs on the machine at the least. The four run interleaved.
#include "SandboxServer.h"
#include "TestSupport.h"
#include "app/AppServer.h"
#include "platform/Process.h"
#include "settings/SettingsValues.h"
#include "transport/Connection.h"
#include "transport/Gzip.h"
#include "transport/HttpsExchange.h"

#include <openssl/x509_vfy.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <utility>
#include <vector>
#include <zlib.h>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRuns = 21;
constexpr size_t kBodyBytes = size_t{1} << 20;
constexpr size_t kLargeBodyBytes = size_t{32} << 20;
const std::string kPassword = "Hrkwp(3mzqtbv";

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double MedianSeconds(int runs, const std::function<void()>& action) {
    std::vector<double> seconds;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        action();
        seconds.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    }
    return Median(seconds);
}

// Runs a program with its output thrown away; raises when it fails.
void RunQuietly(const std::vector<std::string>& argv) {
    const pid_t pid = cq::StartInBackground(argv, "/dev/null");
    int status = 0;
    if (::waitpid(pid, &status, 0) < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error(argv[0] + " failed");
}

double Seconds(const std::function<void()>& action) {
    const auto start = Clock::now();
    action();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// What one HTTPSGet spent, in milliseconds.
struct Breakdown {
    std::vector<double> connect, handshake, serverWait, transfer, unpack, total;
    void add(const cq::TransferTimings& t, double unpackSeconds, double totalSeconds) {
        connect.push_back(t.connected / 1e3);
        handshake.push_back((t.tlsDone - t.connected) / 1e3);
        serverWait.push_back((t.firstByte - std::max(t.tlsDone, t.connected)) / 1e3);
        transfer.push_back((t.total - t.firstByte) / 1e3);
        unpack.push_back(unpackSeconds * 1e3);
        total.push_back(totalSeconds * 1e3);
    }
    void print(const char* name) const {
        std::printf("  %-38s TCP %.2f, TLS handshake %.2f, server until first byte %.2f, "
                    "transfer %.2f, unpacking %.2f; rest %.2f ms\n",
                    name, Median(connect), Median(handshake), Median(serverWait), Median(transfer),
                    Median(unpack),
                    Median(total) - Median(connect) - Median(handshake) - Median(serverWait) -
                        Median(transfer) - Median(unpack));
    }
};

// Loading the trust store as the connection does for each new connection: the service's CA
// file, and the system folder, which is read lazily certificate by certificate.
double TrustStoreLoadMilliseconds(const std::string& caFile) {
    std::vector<double> ms;
    for (int i = 0; i < kRuns; ++i)
        ms.push_back(1e3 * Seconds([&] {
                         std::unique_ptr<X509_STORE, decltype(&X509_STORE_free)> store(
                             X509_STORE_new(), X509_STORE_free);
                         if (!X509_STORE_load_file(store.get(), caFile.c_str()) ||
                             !X509_STORE_load_path(store.get(), "/etc/ssl/certs"))
                             throw std::runtime_error("cannot load the trust store");
                     }));
    return Median(ms);
}

// The body exactly as the service sends it when gzip is accepted.
std::string RawGzipBody(const std::string& url) {
    cq::ApplyRequestCertificate();
    cq::SetProxy(cq::AppServer()->ConnectionHandle, {});
    const std::string body = cq::CommandGet(cq::AppServer()->ConnectionHandle,
                                            {url, "gzip,deflate", cq::SecretBytes(kPassword)})
                                 .body;
    if (!cq::LooksGzipped(body))
        throw std::runtime_error("the service did not compress the body");
    return body;
}

void CompareGet(const cq::test::SandboxServer& server, const std::string& folder) {
    const std::string url = server.url("/sample?bytes=" + std::to_string(kBodyBytes));
    // The same trust store as the program's: the service's CA file joins the system store.
    const std::vector<std::string> curl = {"curl",     "--compressed",
                                           "-s",       "-f",
                                           "-o",       "/dev/null",
                                           "--cacert", server.caFile(),
                                           "--capath", "/etc/ssl/certs",
                                           "--cert",   folder + "Request.cer",
                                           "--key",    folder + "Request.key",
                                           "--pass",   kPassword,
                                           url};
    cq::TAppServer& app = *cq::AppServer();
    if (cq::HTTPSGet(url, false).size() != kBodyBytes)
        throw std::runtime_error("wrong body size");
    const std::string raw = RawGzipBody(url);
    std::vector<double> reference, cold, warm;
    Breakdown coldParts, warmParts;
    auto timedGet = [&](std::vector<double>& times, Breakdown& parts) {
        const double total = Seconds([&] { cq::HTTPSGet(url, false); });
        times.push_back(total);
        parts.add(cq::LastTransferTimings(app.ConnectionHandle),
                  Seconds([&] { (void)cq::GunzipBody(raw); }), total);
    };
    const std::function<void()> measurements[] = {
        [&] { reference.push_back(Seconds([&] { RunQuietly(curl); })); },
        [&] {
            cq::CloseConn(app.ConnectionHandle);
            app.ConnectionHandle = cq::CreateConn({});
            timedGet(cold, coldParts);
        },
        [&] {
            cq::HTTPSGet(url, false); // the connection is open, as after an earlier GET
            timedGet(warm, warmParts);
        },
    };
    for (int run = 0; run < kRuns; ++run)
        for (int k = 0; k < 3; ++k)
            measurements[(run + k) % 3]();
    const double curlMs = Median(reference) * 1e3;
    std::printf("GET of a 1 MiB body sent gzip-compressed (%zu bytes on the wire), median of %d, "
                "interleaved:\n",
                raw.size(), kRuns);
    std::printf("  curl --compressed (process per run)   %8.2f ms\n", curlMs);
    std::printf("  HTTPSGet, new connection per GET      %8.2f ms   ratio %.3f (target <= 1.0)\n",
                Median(cold) * 1e3, Median(cold) * 1e3 / curlMs);
    std::printf("  HTTPSGet, connection kept (as in use) %8.2f ms   ratio %.3f (target <= 1.0)\n",
                Median(warm) * 1e3, Median(warm) * 1e3 / curlMs);
    std::printf("  kept against new connection: ratio %.3f (a kept one must be faster)\n",
                Median(warm) / Median(cold));
    std::printf("Where one HTTPSGet's time goes (medians):\n");
    coldParts.print("new connection:");
    warmParts.print("kept connection:");
    std::printf("  trust store loading for a new connection (CA file + system folder): %.2f ms\n",
                TrustStoreLoadMilliseconds(server.caFile()));
}

// zlib unpacking the whole gzip member into `size` bytes at `out`, the unpacked size.
void ZlibInflateInto(const std::string& packed, char* out, size_t size) {
    z_stream stream{};
    if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK)
        throw std::runtime_error("inflateInit2");
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
    stream.avail_in = static_cast<uInt>(packed.size());
    stream.next_out = reinterpret_cast<Bytef*>(out);
    stream.avail_out = static_cast<uInt>(size);
    const int code = inflate(&stream, Z_FINISH);
    inflateEnd(&stream);
    if (code != Z_STREAM_END || stream.total_out != size)
        throw std::runtime_error("zlib inflate");
}

// New memory of `size` bytes, untouched, mapped on huge-page boundaries and advised for huge
// pages: the least that the first touch of new memory can cost.
class NewMemory {
public:
    explicit NewMemory(size_t size) : length_(size + kHugePage) {
        map_ = ::mmap(nullptr, length_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (map_ == MAP_FAILED)
            throw std::runtime_error("mmap");
        const auto start = (reinterpret_cast<uintptr_t>(map_) + kHugePage - 1) & ~(kHugePage - 1);
        data_ = reinterpret_cast<char*>(start);
        ::madvise(data_, size, MADV_HUGEPAGE);
    }
    ~NewMemory() { ::munmap(map_, length_); }
    NewMemory(const NewMemory&) = delete;
    NewMemory& operator=(const NewMemory&) = delete;
    char* data() const { return data_; }

private:
    static constexpr uintptr_t kHugePage = uintptr_t{2} << 20;
    size_t length_;
    void* map_ = nullptr;
    char* data_ = nullptr;
};

long MinorPageFaults() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

// One way of unpacking, timed run by run, with the page faults it caused.
struct Unpacker {
    explicit Unpacker(std::function<void()> action) : unpack(std::move(action)) {}
    std::function<void()> unpack;
    std::vector<double> seconds;
    long faults = 0;
    void run() {
        const long before = MinorPageFaults();
        seconds.push_back(Seconds(unpack));
        faults += MinorPageFaults() - before;
    }
    double median() const { return Median(seconds); }
    long faultsPerRun() const { return faults / static_cast<long>(seconds.size()); }
};

void CompareUnpacking(const cq::test::SandboxServer& server, const std::string& folder,
                      size_t bytes) {
    const std::string packed = RawGzipBody(server.url("/sample?bytes=" + std::to_string(bytes)));
    const std::string file = folder + "body.gz";
    cq::test::WriteFile(file, packed);
    if (cq::GunzipBody(packed).size() != bytes)
        throw std::runtime_error("wrong unpacked size");
    const double reference = MedianSeconds(kRuns, [&] { RunQuietly({"gzip", "-dc", file}); });
    std::string ready(bytes, '\0');
    std::string kept;
    cq::GunzipBodyInto(packed, kept); // as after an earlier body
    Unpacker limit([&] { ZlibInflateInto(packed, ready.data(), bytes); });
    Unpacker intoKept([&] { cq::GunzipBodyInto(packed, kept); });
    Unpacker fresh([&] { (void)cq::GunzipBody(packed); });
    Unpacker zlibFresh([&] { ZlibInflateInto(packed, NewMemory(bytes).data(), bytes); });
    Unpacker* const unpackers[] = {&limit, &intoKept, &fresh, &zlibFresh};
    for (int run = 0; run < kRuns; ++run)
        for (int k = 0; k < 4; ++k)
            unpackers[(run + k) % 4]->run();
    const double mib = static_cast<double>(bytes) / (1 << 20);
    std::printf("Unpacking %.0f MiB (%zu bytes packed), median of %d, interleaved (page faults per "
                "run in brackets):\n",
                mib, packed.size(), kRuns);
    std::printf("  gzip -dc FILE > /dev/null (process)      %8.1f MiB/s\n", mib / reference);
    std::printf("  zlib inflate into a ready buffer (limit) %8.1f MiB/s  [%ld]\n",
                mib / limit.median(), limit.faultsPerRun());
    std::printf("  GunzipBodyInto a string used again       %8.1f MiB/s  [%ld]  against the limit: "
                "ratio %.2f (target >= 0.9)\n",
                mib / intoKept.median(), intoKept.faultsPerRun(),
                limit.median() / intoKept.median());
    std::printf("  GunzipBody, a new string per call        %8.1f MiB/s  [%ld]  against the limit: "
                "ratio %.2f; against gzip -dc: ratio %.2f (target >= 0.9)\n",
                mib / fresh.median(), fresh.faultsPerRun(), limit.median() / fresh.median(),
                reference / fresh.median());
    std::printf("  zlib inflate into new memory per call    %8.1f MiB/s  [%ld]  GunzipBody against "
                "it: ratio %.2f (memory new from the system per call, on huge pages where it spans "
                "them: the least its first touch costs)\n",
                mib / zlibFresh.median(), zlibFresh.faultsPerRun(),
                zlibFresh.median() / fresh.median());
}

} // namespace

int main() {
    try {
        cq::test::SandboxServer server;
        cq::test::TempDir folder;
        cq::test::UseProgramFolder(folder.path());
        server.writeClientCertificate(folder.path(), kPassword);
        cq::SettingsValues& settings = cq::Settings();
        settings.RequestCertificate = "Request.cer";
        settings.RequestKey = "Request.key";
        settings.RequestPassword = kPassword;
        settings.CaFile = server.caFile();
        cq::TAppServer app(false);
        app.ConnectionHandle = cq::CreateConn({});
        cq::SetAppServer(&app);
        CompareGet(server, folder.path());
        CompareUnpacking(server, folder.path(), kBodyBytes);
        CompareUnpacking(server, folder.path(), kLargeBodyBytes);
        cq::CloseConn(app.ConnectionHandle);
        cq::SetAppServer(nullptr);
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_transport: %s\n", error.what());
        return 1;
    }
}
