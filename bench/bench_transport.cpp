// Transport speed, measured in one run against named references:
//  1. HTTPSGet of a 1 MiB body sent gzip-compressed by the sandbox service, against
//     `curl --compressed` of the same URL with the same client certificate (a process per run);
//  2. the gzip unpacking of this program against `gzip -dc` of the same bytes (a process per
//     run reading a file, output to /dev/null, wall time including the process start).
#include "SandboxServer.h"
#include "TestSupport.h"
#include "app/AppServer.h"
#include "settings/SettingsValues.h"
#include "transport/Connection.h"
#include "transport/Gzip.h"
#include "transport/HttpsExchange.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <vector>

extern char** environ;

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
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    if (spawned != 0 || waitpid(pid, &status, 0) < 0 || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0)
        throw std::runtime_error(argv[0] + " failed");
}

// The body exactly as the service sends it when gzip is accepted.
std::string RawGzipBody(const std::string& url) {
    cq::VariantList result;
    cq::ApplyRequestCertificate();
    cq::SetProxy(cq::AppServer()->ConnectionHandle, {false, "", 0, "", ""});
    cq::CommandGet(cq::AppServer()->ConnectionHandle, {url, "gzip,deflate", kPassword}, result);
    const std::string body = std::get<std::string>(result.at(3));
    if (!cq::LooksGzipped(body))
        throw std::runtime_error("the service did not compress the body");
    return body;
}

void CompareGet(const cq::test::SandboxServer& server, const std::string& folder) {
    const std::string url = server.url("/sample?bytes=" + std::to_string(kBodyBytes));
    const std::vector<std::string> curl = {"curl",     "--compressed",
                                           "-s",       "-f",
                                           "-o",       "/dev/null",
                                           "--cacert", server.caFile(),
                                           "--cert",   folder + "Request.cer",
                                           "--key",    folder + "Request.key",
                                           "--pass",   kPassword,
                                           url};
    cq::TAppServer& app = *cq::AppServer();
    if (cq::HTTPSGet(url, false).size() != kBodyBytes)
        throw std::runtime_error("wrong body size");
    const double warm = MedianSeconds(kRuns, [&] { cq::HTTPSGet(url, false); });
    const double cold = MedianSeconds(kRuns, [&] {
        cq::CloseConn(app.ConnectionHandle);
        app.ConnectionHandle = cq::CreateConn(0, {false});
        cq::HTTPSGet(url, false);
    });
    const double reference = MedianSeconds(kRuns, [&] { RunQuietly(curl); });
    std::printf("GET of a 1 MiB body sent gzip-compressed (%zu bytes on the wire), median of %d:\n",
                RawGzipBody(url).size(), kRuns);
    std::printf("  curl --compressed (process per run)   %8.2f ms\n", reference * 1e3);
    std::printf("  HTTPSGet, new connection per GET      %8.2f ms   ratio %.3f (target <= 1.0)\n",
                cold * 1e3, cold / reference);
    std::printf("  HTTPSGet, connection kept (as in use) %8.2f ms   ratio %.3f (target <= 1.0)\n",
                warm * 1e3, warm / reference);
}

void CompareUnpacking(const cq::test::SandboxServer& server, const std::string& folder,
                      size_t bytes) {
    const std::string packed = RawGzipBody(server.url("/sample?bytes=" + std::to_string(bytes)));
    const std::string file = folder + "body.gz";
    cq::test::WriteFile(file, packed);
    if (cq::GunzipBody(packed).size() != bytes)
        throw std::runtime_error("wrong unpacked size");
    const double ours = MedianSeconds(kRuns, [&] { (void)cq::GunzipBody(packed); });
    const double reference = MedianSeconds(kRuns, [&] { RunQuietly({"gzip", "-dc", file}); });
    const double mib = static_cast<double>(bytes) / (1 << 20);
    std::printf("Unpacking %.0f MiB (%zu bytes packed), median of %d:\n", mib, packed.size(),
                kRuns);
    std::printf("  gzip -dc FILE > /dev/null (process)   %8.1f MiB/s\n", mib / reference);
    std::printf(
        "  GunzipBody in memory                  %8.1f MiB/s   ratio %.2f (target >= 0.9)\n",
        mib / ours, reference / ours);
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
        app.ConnectionHandle = cq::CreateConn(0, {false});
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
