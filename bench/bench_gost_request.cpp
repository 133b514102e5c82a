// GOST request speed: the median time of the in-process road up to the signed request (new
// container with its key pair stored as a file, request built and signed by the software
// provider, Base64 framing) against the openssl tool with the GOST engine doing the same as two
// processes, as a user would (`openssl genpkey -engine gost -algorithm gost2012_256 -pkeyopt
// paramset:XA -out K` then `openssl req -engine gost -new -key K -subj S -out R`). Runs
// alternate so that load on the machine hits both alike. Also shows how our time splits into
// key generation, signing and the container file write.
#include "certs/GostRequest.h"
#include "provider/ContainerStore.h"
#include "provider/GostKey.h"
#include "provider/SoftwareGostProvider.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRuns = 101;
constexpr const char* kOpensslSubject =
    "/C=RU/ST=Moscow region/L=Moscow/O=Firm Ltd/OU=IT/CN=Ivan Petrov/"
    "emailAddress=ivan.petrov@mail.example";

double Milliseconds(Clock::duration elapsed) {
    return std::chrono::duration<double, std::milli>(elapsed).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

cq::TCertRequestParam Param(int run) {
    cq::TCertRequestParam param;
    param.ProvName = cq::provider::kSoftwareGostProviderName;
    param.ProvType = cq::provider::kProvTypeGost2012_256;
    param.AlgId = param.HashAlgId = cq::provider::kAlgGost3411_2012_256;
    param.Container = "QUORIX_R" + std::to_string(run);
    param.Country = "RU";
    param.State = "Moscow region";
    param.Locality = "Moscow";
    param.Organization = "Firm Ltd";
    param.OrganizUnit = "IT";
    param.CommonName = "Ivan Petrov";
    param.Email = "ivan.petrov@mail.example";
    return param;
}

double TimeOurs(const cq::provider::ProviderRegistry& registry, int run) {
    cq::TCertRequestParam param = Param(run);
    const auto start = Clock::now();
    const std::string pem = cq::FrameGostRequest(cq::CreateGostRequest(param, registry));
    const double elapsed = Milliseconds(Clock::now() - start);
    if (pem.size() < 200) {
        std::fprintf(stderr, "CreateGostRequest made no request\n");
        std::exit(1);
    }
    return elapsed;
}

bool Spawn(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    int status = -1;
    if (posix_spawnp(&pid, "openssl", &actions, nullptr, argv.data(), environ) == 0)
        ::waitpid(pid, &status, 0);
    posix_spawn_file_actions_destroy(&actions);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

double TimeOpenssl(const std::string& folder) {
    const std::string key = folder + "openssl.key";
    const std::string request = folder + "openssl.csr";
    std::filesystem::remove(key);
    const auto start = Clock::now();
    const bool made = Spawn({"openssl", "genpkey", "-engine", "gost", "-algorithm", "gost2012_256",
                             "-pkeyopt", "paramset:XA", "-out", key}) &&
                      Spawn({"openssl", "req", "-engine", "gost", "-new", "-key", key, "-subj",
                             kOpensslSubject, "-out", request});
    const double elapsed = Milliseconds(Clock::now() - start);
    if (!made) {
        std::fprintf(stderr, "openssl genpkey / req failed\n");
        std::exit(1);
    }
    return elapsed;
}

/// The three costly steps of our road, each timed on its own.
struct Parts {
    std::vector<double> keyGeneration, signing, fileWrite, unflushedWrite;
};

void TimeParts(Parts& parts, const std::string& folder, int run) {
    auto start = Clock::now();
    const cq::provider::GostKey key = cq::provider::GostKey::Generate();
    parts.keyGeneration.push_back(Milliseconds(Clock::now() - start));
    const std::string toBeSigned(400, 'x'); // the size of a request's information
    start = Clock::now();
    (void)key.sign(toBeSigned);
    parts.signing.push_back(Milliseconds(Clock::now() - start));
    start = Clock::now();
    cq::provider::StoreNewContainer(
        cq::provider::ContainerPath(folder, "part" + std::to_string(run)),
        key.containerText({}).view());
    parts.fileWrite.push_back(Milliseconds(Clock::now() - start));
    // The same bytes written the way the openssl tool writes its key: no flush to the disk.
    start = Clock::now();
    std::ofstream(folder + "plain" + std::to_string(run) + ".key") << key.containerText({}).str();
    parts.unflushedWrite.push_back(Milliseconds(Clock::now() - start));
}

std::string MakeFolder() {
    char templ[] = "/tmp/cqbench.XXXXXX";
    if (!::mkdtemp(templ)) {
        std::perror("mkdtemp");
        std::exit(1);
    }
    return std::string(templ) + "/";
}

} // namespace

int main() {
    const std::string folder = MakeFolder();
    const std::string containers = folder + "containers/";
    auto software = cq::provider::MakeSoftwareGostProvider(cq::provider::kGostEngineId, containers);
    if (!software) {
        std::fprintf(stderr, "the GOST engine does not load\n");
        return 1;
    }
    const cq::provider::ProviderRegistry registry({software});
    std::vector<double> ours, openssl;
    Parts parts;
    TimeOurs(registry, -1); // warm-up: engine tables, random source, file cache
    TimeOpenssl(folder);
    for (int run = 0; run < kRuns; ++run) {
        ours.push_back(TimeOurs(registry, run));
        openssl.push_back(TimeOpenssl(folder));
        TimeParts(parts, containers, run);
    }
    std::filesystem::remove_all(folder);

    const double oursMedian = Median(ours);
    const double opensslMedian = Median(openssl);
    std::printf("GOST request, median of %d runs each (GOST R 34.10-2012 256-bit key, XchA set)\n",
                kRuns);
    std::printf("  CreateGostRequest (container file, key pair, request, signature): %8.3f ms\n",
                oursMedian);
    std::printf("    key generation %.3f ms, signing %.3f ms, container file write %.3f ms\n",
                Median(parts.keyGeneration), Median(parts.signing), Median(parts.fileWrite));
    std::printf(
        "  openssl genpkey -engine gost ... + openssl req -engine gost -new ...: %8.3f ms\n",
        opensslMedian);
    std::printf("  ratio CreateGostRequest / openssl: %.3f (target <= 0.2)\n",
                oursMedian / opensslMedian);
    // Most of our time is the flush of the container file and its folder, which makes a new
    // key survive a crash; the tool does not flush. The ratio with our write made like its own:
    const double unflushed = oursMedian - Median(parts.fileWrite) + Median(parts.unflushedWrite);
    std::printf("  ratio with the container written unflushed (%.3f ms) like the tool's key: "
                "%.3f\n",
                Median(parts.unflushedWrite), unflushed / opensslMedian);
    return 0;
}
