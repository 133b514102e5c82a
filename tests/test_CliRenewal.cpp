// Renewal through certquorix-cli against the sandbox service, RSA and GOST (the software
// provider): a working certificate near its end, renew, the working pair still checked and
// exported while the renewal is pending, a download before the issue, the issue, the download
// that swaps the renewed pair in and keeps the previous one; abandoning a renewal, replacing a
// pending one, and a renewal killed at each step of its swap.
#include "CliFixture.h"
#include "SandboxServer.h"
#include "TestSupport.h"
#include "base/FileUtil.h"
#include "base/IniFile.h"
#include "base/KillPoint.h"
#include "certs/Renewal.h"
#include "certs/RenewalState.h"
#include "certs/Submission.h"
#include "settings/CertFolders.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <map>
#include <regex>
#include <string>
#include <unistd.h>
#include <vector>

namespace cq {
namespace {

using test::ProcessResult;

constexpr const char* kKeyPassword = "Renewal-pw 5";

const std::vector<std::string> kSubject = {
    "--country",      "RU",       "--state",       "Moscow region", "--locality", "Moscow",
    "--organization", "Firm Ltd", "--common-name", "Ivan Petrov"};

/// The files of a folder (not its subfolders) and their bytes.
std::map<std::string, std::string> FilesOf(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.is_regular_file() && !entry.is_symlink())
            files[entry.path().filename()] = test::ReadFile(entry.path());
    return files;
}

/// The previous pairs' folders in a certificate folder.
std::vector<std::string> PreviousFolders(const std::string& folder) {
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.is_directory() &&
            std::regex_match(entry.path().filename().string(),
                             std::regex("Previous-[0-9]{8}-[0-9]{6}(-[0-9]+)?")))
            found.push_back(entry.path().string() + "/");
    return found;
}

/// The files of a folder but the pending renewal's: what a swap keeps of the working pair.
std::map<std::string, std::string> WithoutPendingFiles(std::map<std::string, std::string> files) {
    for (const char* name : {kRenewalKeyFile, kRenewalActFile, kRenewalRecordFile})
        files.erase(name);
    return files;
}

/// True when the certificate file is still valid `days` days from now.
bool ValidFor(const std::string& certificate, int days) {
    return test::RunProcess({"openssl", "x509", "-in", certificate, "-noout", "-checkend",
                             std::to_string(days * 24 * 3600)})
               .status == 0;
}

class CliRenewalTest : public test::CliSandboxTest {
protected:
    void SetUp() override {
        CliSandboxTest::SetUp();
        cli.baseEnvironment = {"CERTQUORIX_PASSWORD=" + std::string(kKeyPassword),
                               "CERTQUORIX_CONTAINER_PASSWORD=pw"};
        cli.writeServiceSettings(*server,
                                 {{"UrlRequestRSACertificate", server->url("/requp/")},
                                  {"UrlReceiveRSACertificate", server->url("/certget/")},
                                  {"UrlRequestGostCertificate", server->url("/gost/requp/")},
                                  {"UrlReceiveGostCertificate", server->url("/gost/certget/")}});
    }

    ProcessResult run(const std::vector<std::string>& args) const { return cli.run(args); }

    /// A working certificate of the address that ends in 10 days, downloaded.
    void makeWorkingPair(const std::string& email, bool gost) {
        std::vector<std::string> request = {"request", "--email", email};
        if (gost)
            request.push_back("--gost");
        request.insert(request.end(), kSubject.begin(), kSubject.end());
        ProcessResult made = run(request);
        ASSERT_EQ(made.status, 0) << made.out << made.err;
        server->issue(email, false, 10);
        made = run({"download", "--email", email});
        ASSERT_EQ(made.status, 0) << made.out << made.err;
    }
};

class CliRenewalRoad : public CliRenewalTest, public ::testing::WithParamInterface<bool> {};

TEST_P(CliRenewalRoad, WorkingPairServesUntilTheRenewedOneIsSwappedIn) {
    const bool gost = GetParam();
    const std::string email = gost ? "gost.renew@mail.example" : "rsa.renew@mail.example";
    const std::string folder = cli.folder(email);
    makeWorkingPair(email, gost);
    ASSERT_FALSE(ValidFor(folder + kCertificateFile, 11));
    const std::map<std::string, std::string> working = FilesOf(folder);

    ProcessResult step = run({"renew", "--email", email});
    ASSERT_EQ(step.status, 0) << step.out << step.err;
    EXPECT_NE(step.out.find("Запрос на продление сертификата успешно отправлен."),
              std::string::npos)
        << step.out;
    EXPECT_EQ(step.out.find("Не повторяйте"), std::string::npos) << step.out;
    EXPECT_EQ(ReadRenewalState(folder), RenewalState::Pending);
    EXPECT_EQ(FileExists(folder + kRenewalKeyFile), !gost);
    EXPECT_TRUE(FileExists(folder + kRenewalActFile));
    const IniFile pending = IniFile::Load(folder + kRenewalRecordFile);
    const IniFile record = IniFile::Load(folder + kRequestRecordFile);
    EXPECT_EQ(pending.ReadString("Cert", "CommonName"), "Ivan Petrov");
    EXPECT_EQ(pending.ReadString("Cert", "Organization"), "Firm Ltd");
    if (gost) {
        EXPECT_NE(pending.ReadString("Cert", "Container"), "");
        EXPECT_NE(pending.ReadString("Cert", "Container"), record.ReadString("Cert", "Container"));
    }
    for (const auto& [name, bytes] : working)
        EXPECT_EQ(test::ReadFile(folder + name), bytes) << name << " changed by renew";

    // The working pair serves the whole time the renewal waits.
    step = run({"check", "--email", email});
    EXPECT_EQ(step.status, 0) << step.out << step.err;
    step = run({"export", "--no-open", "--email", email});
    EXPECT_EQ(step.status, 0) << step.out << step.err;
    const std::string exported = test::ReadFile(folder + kCertificateP12File);

    step = run({"download", "--email", email});
    EXPECT_EQ(step.status, 3) << step.out << step.err;
    EXPECT_NE(step.err.find("Сертификат еще не готов."), std::string::npos) << step.err;
    EXPECT_EQ(test::ReadFile(folder + kCertificateFile), working.at(kCertificateFile));
    EXPECT_EQ(ReadRenewalState(folder), RenewalState::Pending);

    server->issue(email);
    step = run({"download", "--email", email});
    ASSERT_EQ(step.status, 0) << step.out << step.err;
    const std::string swapTold = step.out + step.err;
    EXPECT_EQ(ReadRenewalState(folder), RenewalState::Issued);
    for (const char* name : {kRenewalKeyFile, kRenewalActFile, kRenewalRecordFile})
        EXPECT_FALSE(FileExists(folder + name)) << name;
    EXPECT_FALSE(FileExists(folder + kRenewalJournalFile));
    EXPECT_TRUE(ValidFor(folder + kCertificateFile, 300));
    EXPECT_EQ(IniFile::Load(folder + kRequestRecordFile).ReadString("Cert", "Container"),
              pending.ReadString("Cert", "Container"));

    // Every working file of before, the exported one too, is kept as it was.
    const std::vector<std::string> previous = PreviousFolders(folder);
    ASSERT_EQ(previous.size(), 1u);
    // The message names the folder that keeps them.
    EXPECT_NE(swapTold.find(std::filesystem::path(previous.front()).filename().string()),
              std::string::npos)
        << swapTold;
    std::map<std::string, std::string> kept = working;
    kept[kCertificateP12File] = exported;
    EXPECT_EQ(FilesOf(previous.front()), kept);
    EXPECT_FALSE(FileExists(folder + kCertificateP12File));

    step = run({"check", "--email", email});
    EXPECT_EQ(step.status, 0) << step.out << step.err;
    // Downloading again changes nothing: the renewed certificate is the working one now.
    step = run({"download", "--email", email});
    EXPECT_EQ(step.status, 0) << step.out << step.err;
    EXPECT_EQ(PreviousFolders(folder).size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Kinds, CliRenewalRoad, ::testing::Values(false, true),
                         [](const auto& kind) { return kind.param ? "Gost" : "Rsa"; });

TEST_F(CliRenewalTest, RenewNeedsAWorkingCertificate) {
    const std::string email = "first@mail.example";
    std::vector<std::string> request = {"request", "--email", email};
    request.insert(request.end(), kSubject.begin(), kSubject.end());
    for (const bool requested : {false, true}) {
        SCOPED_TRACE(requested ? "requested, not issued" : "no folder");
        if (requested) {
            ASSERT_EQ(run(request).status, 0);
        }
        const ProcessResult refused = run({"renew", "--email", email});
        EXPECT_EQ(refused.status, 2) << refused.out << refused.err;
        EXPECT_NE(refused.err.find(kNoWorkingCertificateText), std::string::npos) << refused.err;
        EXPECT_FALSE(FileExists(cli.folder(email) + kRenewalRecordFile));
        EXPECT_FALSE(FileExists(cli.folder(email) + kRenewalKeyFile));
    }
}

// A second renew asks before it replaces the pending request, never the working one; cancel
// removes the pending files only.
TEST_F(CliRenewalTest, SecondRenewAsksAndCancelLeavesTheWorkingPair) {
    const std::string email = "again@mail.example";
    const std::string folder = cli.folder(email);
    makeWorkingPair(email, false);
    const std::map<std::string, std::string> working = FilesOf(folder);
    ASSERT_EQ(run({"renew", "--email", email}).status, 0);
    const std::string firstKey = test::ReadFile(folder + kRenewalKeyFile);

    ProcessResult step = run({"renew", "--email", email, "--organization", "Other Firm"});
    EXPECT_EQ(step.status, 1) << step.out << step.err;
    EXPECT_NE(step.err.find("ожидающий запрос на продление оставлен"), std::string::npos)
        << step.err;
    EXPECT_EQ(test::ReadFile(folder + kRenewalKeyFile), firstKey);

    step = run({"renew", "--yes", "--email", email, "--organization", "Other Firm"});
    ASSERT_EQ(step.status, 0) << step.out << step.err;
    EXPECT_NE(test::ReadFile(folder + kRenewalKeyFile), firstKey);
    EXPECT_EQ(IniFile::Load(folder + kRenewalRecordFile).ReadString("Cert", "Organization"),
              "Other Firm");
    EXPECT_NE(server->storedRequest(email).find("BEGIN"), std::string::npos);
    for (const auto& [name, bytes] : working)
        EXPECT_EQ(test::ReadFile(folder + name), bytes) << name;

    step = run({"renew", "--cancel", "--email", email});
    EXPECT_EQ(step.status, 0) << step.out << step.err;
    EXPECT_EQ(ReadRenewalState(folder), RenewalState::None);
    EXPECT_EQ(FilesOf(folder), working);
    EXPECT_EQ(run({"check", "--email", email}).status, 0);

    step = run({"renew", "--cancel", "--email", email});
    EXPECT_EQ(step.status, 2) << step.out << step.err;
    EXPECT_NE(step.err.find("нет ожидающего запроса на продление"), std::string::npos) << step.err;
}

// A certificate issued for a pending request the user then replaced answers neither key: it
// is kept aside, and the working pair and the new pending request stay.
TEST_F(CliRenewalTest, CertificateOfAReplacedRenewalIsKeptAside) {
    const std::string email = "aside@mail.example";
    const std::string folder = cli.folder(email);
    makeWorkingPair(email, false);
    ASSERT_EQ(run({"renew", "--email", email}).status, 0);
    server->issue(email);
    ASSERT_EQ(run({"renew", "--yes", "--email", email}).status, 0);
    const std::map<std::string, std::string> before = FilesOf(folder);

    const ProcessResult step = run({"download", "--email", email});
    EXPECT_EQ(step.status, 5) << step.out << step.err;
    const std::map<std::string, std::string> after = FilesOf(folder);
    for (const auto& [name, bytes] : before)
        EXPECT_EQ(after.at(name), bytes) << name;
    ASSERT_EQ(after.size(), before.size() + 1);
    EXPECT_TRUE(PreviousFolders(folder).empty());
    EXPECT_EQ(ReadRenewalState(folder), RenewalState::Pending);
}

// A plain request made while a renewal waits replaces the working key: its certificate is
// downloaded for that key as usual, and the renewal keeps waiting.
TEST_F(CliRenewalTest, CertificateOfARequestMadeWhileARenewalWaitsIsDownloaded) {
    const std::string email = "both@mail.example";
    const std::string folder = cli.folder(email);
    makeWorkingPair(email, false);
    ASSERT_EQ(run({"renew", "--email", email}).status, 0);
    std::vector<std::string> request = {"request", "--yes", "--email", email};
    request.insert(request.end(), kSubject.begin(), kSubject.end());
    ASSERT_EQ(run(request).status, 0);
    server->issue(email);

    const ProcessResult step = run({"download", "--email", email});
    EXPECT_EQ(step.status, 0) << step.out << step.err;
    EXPECT_EQ(run({"check", "--email", email}).status, 0);
    EXPECT_EQ(ReadRenewalState(folder), RenewalState::Pending);
    EXPECT_TRUE(PreviousFolders(folder).empty());
}

// A link planted where the pending key goes is refused: nothing is written through it, and
// nothing of the folder changes.
TEST_F(CliRenewalTest, LinkAtThePendingKeyIsRefused) {
    const std::string email = "link@mail.example";
    const std::string folder = cli.folder(email);
    makeWorkingPair(email, false);
    const std::string target = dir / "elsewhere.key";
    test::WriteFile(target, "not the tool's\n");
    for (const char* name : {kRenewalKeyFile, kRenewalRecordFile}) {
        SCOPED_TRACE(name);
        const std::map<std::string, std::string> working = FilesOf(folder);
        ASSERT_EQ(::symlink(target.c_str(), (folder + name).c_str()), 0);
        const ProcessResult refused = run({"renew", "--yes", "--email", email});
        EXPECT_NE(refused.status, 0);
        EXPECT_NE(refused.err.find(folder + name), std::string::npos) << refused.err;
        EXPECT_EQ(test::ReadFile(target), "not the tool's\n");
        EXPECT_EQ(FilesOf(folder), working);
        ::unlink((folder + name).c_str());
    }
}

// The swapping download killed at each of its steps: the next operation finishes the swap once
// the previous pair is kept whole and undoes it before; either way the working pair checks.
TEST_F(CliRenewalTest, SwapKilledAnywhereLeavesTheOldPairOrTheNewOne) {
    struct Case {
        const char* point;
        bool swapped;
    };
    const Case cases[] = {{"renewal-journal-written", false},
                          {"renewal-previous-kept", false},
                          {"renewal-kept", true},
                          {"renewal-certificate-placed", true},
                          {"renewal-file-placed", true}};
    int round = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.point);
        const std::string email = "killed" + std::to_string(++round) + "@mail.example";
        const std::string folder = cli.folder(email);
        makeWorkingPair(email, false);
        ASSERT_EQ(run({"renew", "--email", email}).status, 0);
        server->issue(email);
        const std::map<std::string, std::string> before = FilesOf(folder);

        const ProcessResult killed = cli.run({"download", "--email", email},
                                             {std::string(kKillPointVariable) + "=" + c.point});
        ASSERT_EQ(killed.status, 128 + SIGKILL) << killed.out << killed.err;
        const ProcessResult checked = run({"check", "--email", email});
        EXPECT_EQ(checked.status, 0) << checked.out << checked.err;
        EXPECT_FALSE(FileExists(folder + kRenewalJournalFile));
        if (c.swapped) {
            EXPECT_EQ(ReadRenewalState(folder), RenewalState::Issued);
            ASSERT_EQ(PreviousFolders(folder).size(), 1u);
            EXPECT_EQ(FilesOf(PreviousFolders(folder).front()), WithoutPendingFiles(before));
        } else {
            EXPECT_EQ(FilesOf(folder), before);
            EXPECT_TRUE(PreviousFolders(folder).empty());
            EXPECT_EQ(run({"download", "--email", email}).status, 0);
            EXPECT_EQ(ReadRenewalState(folder), RenewalState::Issued);
        }
    }
}

} // namespace
} // namespace cq
