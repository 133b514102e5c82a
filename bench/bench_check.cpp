// The certificate check against what the openssl tool needs for the same comparison: in one run,
// the median time of CheckCertificate on a certificate and its encrypted key, and the median
// time of the pair "openssl x509 -noout -modulus" + "openssl rsa -noout -modulus -passin env:"
// on the same files. Prints both and their ratio (target 0.2 or less).
#include "base/TextCodec.h"
#include "certs/CertificateCheck.h"
#include "platform/Process.h"
#include "settings/CertFolders.h"
#include "settings/SettingsValues.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kRounds = 60;
const std::string kPassword = "Ключ 2024";
const std::string kEmail = "bench@example.ru";
constexpr const char* kPasswordVariable = "CQ_BENCH_PASSWORD";

double MedianMilliseconds(const std::function<void()>& action) {
    std::vector<double> times;
    action(); // warm-up
    for (int i = 0; i < kRounds; ++i) {
        const auto start = std::chrono::steady_clock::now();
        action();
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

std::vector<cq::EnvironmentVariable> PasswordEnvironment() {
    std::vector<cq::EnvironmentVariable> environment;
    environment.push_back({kPasswordVariable, cq::SecretBytes(cq::ToCp1251(kPassword))});
    return environment;
}

cq::ProcessOutcome Openssl(const std::string& tool, std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), tool);
    cq::ProcessOutcome outcome = cq::RunAndWait(tool, arguments, PasswordEnvironment());
    if (outcome.exitStatus != 0)
        throw std::runtime_error("openssl failed: " + outcome.output);
    return outcome;
}

/// A 1024-bit key encrypted with DES-EDE3-CBC and its self-signed certificate, made once.
void MakeFiles(const std::string& tool, const std::string& folder) {
    Openssl(tool,
            {"genrsa", "-traditional", "-des3", "-passout", std::string("env:") + kPasswordVariable,
             "-out", folder + "Certificate.key", "1024"});
    Openssl(tool,
            {"req", "-new", "-x509", "-days", "3650", "-key", folder + "Certificate.key", "-passin",
             std::string("env:") + kPasswordVariable, "-subj",
             "/C=RU/O=Bench/CN=Bench/emailAddress=" + kEmail, "-out", folder + "Certificate.cer"});
}

} // namespace

int main() {
    const std::string tool = cq::FindInPath("openssl");
    if (tool.empty()) {
        std::fprintf(stderr, "openssl not found on PATH\n");
        return 1;
    }
    char templ[] = "/tmp/cqbench.XXXXXX";
    if (!::mkdtemp(templ))
        return 1;
    const std::string data = std::string(templ) + "/";
    cq::Settings().DataFolder = data;
    const std::string folder = cq::CertificateFolder(kEmail);
    std::filesystem::create_directories(folder);
    int status = 0;
    try {
        MakeFiles(tool, folder);
        const std::string cer = folder + "Certificate.cer";
        const std::string key = folder + "Certificate.key";
        bool valid = true;
        const double check = MedianMilliseconds([&] {
            valid = valid && cq::CheckCertificate(cq::kCertificateFile, cq::kCertificateKeyFile,
                                                  kEmail, kPassword)
                                 .Valid;
        });
        std::string certificateModulus, keyModulus;
        const double pair = MedianMilliseconds([&] {
            certificateModulus = Openssl(tool, {"x509", "-noout", "-modulus", "-in", cer}).output;
            keyModulus = Openssl(tool, {"rsa", "-noout", "-modulus", "-in", key, "-passin",
                                        std::string("env:") + kPasswordVariable})
                             .output;
        });
        if (!valid || certificateModulus != keyModulus)
            throw std::runtime_error("the two ways disagree about the files");
        std::printf("CheckCertificate (median of %d):                        %8.3f ms\n", kRounds,
                    check);
        std::printf("openssl x509 -modulus + openssl rsa -modulus (median):  %8.3f ms\n", pair);
        std::printf("ratio CheckCertificate / openssl pair: %.4f (target <= 0.2)\n", check / pair);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        status = 1;
    }
    std::filesystem::remove_all(data);
    return status;
}
