// RSA request speed: the median time of one whole MakeRsaRequest (key pair, request, key file,
// act, record) against the openssl tool making a 1024-bit key and request for the same subject
// (`openssl req -new -newkey rsa:1024 -keyout K -out R -passout pass:P -subj S`), started as a
// process as a user would. Runs alternate so that load on the machine hits both alike.
#include "base/Dialogs.h"
#include "base/FileUtil.h"
#include "base/ProgramInfo.h"
#include "certs/PublicKeyAct.h"
#include "certs/RsaRequest.h"
#include "settings/SettingsValues.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRuns = 101;
constexpr const char* kPassword = "Secret1";
constexpr const char* kOpensslSubject =
    "/C=ru/ST=Moscow region/L=Moscow/O=Firm Ltd/OU=IT/CN=Ivan Petrov/"
    "emailAddress=ivan.petrov@mail.example";

/// Answers Yes to the replacement question and shows nothing.
class YesDialogs final : public cq::Dialogs {
public:
    void showError(const std::string& text, const std::string&) override {
        std::fprintf(stderr, "error: %s\n", text.c_str());
    }
    void showWarning(const std::string&, const std::string&) override {}
    void showInfo(const std::string&, const std::string&) override {}
    bool askYesNo(const std::string&, const std::string&) override { return true; }
};

cq::SubjectData Subject() {
    cq::SubjectData subject;
    subject.Country = "ru";
    subject.State = "Moscow region";
    subject.Locality = "Moscow";
    subject.Organization = "Firm Ltd";
    subject.OrganizUnit = "IT";
    subject.CommonName = "Ivan Petrov";
    subject.Email = "ivan.petrov@mail.example";
    subject.Password = kPassword;
    return subject;
}

double Milliseconds(Clock::duration elapsed) {
    return std::chrono::duration<double, std::milli>(elapsed).count();
}

double TimeMakeRsaRequest() {
    const auto start = Clock::now();
    cq::RsaRequestResult result = cq::MakeRsaRequest("Certificate.key", Subject());
    result.files.Commit();
    const double elapsed = Milliseconds(Clock::now() - start);
    if (result.outcome != cq::RequestOutcome::Made || result.requestText.empty()) {
        std::fprintf(stderr, "MakeRsaRequest made no request\n");
        std::exit(1);
    }
    return elapsed;
}

double TimeOpenssl(const std::string& folder) {
    const std::string key = folder + "openssl.key";
    const std::string request = folder + "openssl.csr";
    const std::string passout = std::string("pass:") + kPassword;
    std::vector<std::string> args = {"openssl", "req",   "-new",         "-newkey", "rsa:1024",
                                     "-keyout", key,     "-out",         request,   "-passout",
                                     passout,   "-subj", kOpensslSubject};
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const auto start = Clock::now();
    pid_t pid = 0;
    int status = -1;
    if (posix_spawnp(&pid, "openssl", &actions, nullptr, argv.data(), environ) == 0)
        ::waitpid(pid, &status, 0);
    const double elapsed = Milliseconds(Clock::now() - start);
    posix_spawn_file_actions_destroy(&actions);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "openssl req failed\n");
        std::exit(1);
    }
    return elapsed;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

std::string MakeProgramFolder() {
    char templ[] = "/tmp/cqbench.XXXXXX";
    if (!::mkdtemp(templ)) {
        std::perror("mkdtemp");
        std::exit(1);
    }
    const std::string folder = std::string(templ) + "/";
    std::filesystem::copy_file(std::string(CQ_BINARY_DIR) + "/" + cq::kRsaActTemplate,
                               folder + cq::kRsaActTemplate);
    cq::InitProgramInfo(folder + "certquorix");
    cq::Settings().DataFolder = folder;
    return folder;
}

} // namespace

int main() {
    const std::string folder = MakeProgramFolder();
    YesDialogs dialogs;
    cq::SetDialogs(&dialogs);
    std::vector<double> ours, openssl;
    TimeMakeRsaRequest(); // warm-up: first use of the random source and the file cache
    TimeOpenssl(folder);
    for (int run = 0; run < kRuns; ++run) {
        ours.push_back(TimeMakeRsaRequest());
        openssl.push_back(TimeOpenssl(folder));
    }
    cq::SetDialogs(nullptr);
    std::filesystem::remove_all(folder);

    const double oursMedian = Median(ours);
    const double opensslMedian = Median(openssl);
    std::printf("RSA request, median of %d runs each (1024-bit key, request, encrypted key file)\n",
                kRuns);
    std::printf("  MakeRsaRequest (key pair, request, key file, act, record): %8.2f ms\n",
                oursMedian);
    std::printf("  openssl req -new -newkey rsa:1024 -keyout K -out R -passout pass:P -subj S: "
                "%8.2f ms\n",
                opensslMedian);
    std::printf("  ratio MakeRsaRequest / openssl req: %.3f (target <= 1.0)\n",
                oursMedian / opensslMedian);
    return 0;
}
