// The GOST road through certquorix-cli against the sandbox service, with the software provider
// and the GOST engine: providers, request, issue, download, check.
#include "CliFixture.h"
#include "RequestChecks.h"
#include "SandboxServer.h"
#include "TestSupport.h"
#include "base/FileUtil.h"
#include "base/IniFile.h"
#include "base/KillPoint.h"
#include "base/TextCodec.h"
#include "certs/GostRequest.h"
#include "certs/Submission.h"
#include "provider/SoftwareGostProvider.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <regex>
#include <set>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace cq {
namespace {

using test::ProcessResult;
using test::SandboxServer;

constexpr const char* kEmail = "ivan.petrov@mail.example";

class CliGostTest : public test::CliSandboxTest {
protected:
    void SetUp() override {
        CliSandboxTest::SetUp();
        cli.baseEnvironment = {"CERTQUORIX_CONTAINER_PASSWORD=pw"};
        cli.writeServiceSettings(*server,
                                 {{"UrlRequestGostCertificate", server->url("/gost/requp/")},
                                  {"UrlReceiveGostCertificate", server->url("/gost/certget/")},
                                  {"UrlReceiveRSACertificate", server->url("/certget/")}});
    }

    ProcessResult request(const std::string& organization = "Firm Ltd",
                          const std::vector<std::string>& environment = {}) {
        return cli.run({"request", "--gost", "--email", kEmail, "--country", "RU", "--state",
                        "Moscow region", "--locality", "Moscow", "--organization", organization,
                        "--common-name", "Ivan Petrov"},
                       environment);
    }
    std::string containers() const { return cli.home / "CertQuorix/containers/"; }
    std::string folder() const { return cli.folder(kEmail); }
    static std::string ContainerOf(const ProcessResult& run) {
        std::smatch match;
        return std::regex_search(run.out, match, std::regex("QUORIX_R[0-9]{17}")) ? match.str()
                                                                                  : "";
    }
};

TEST_F(CliGostTest, RequestIssueDownloadAndCheck) {
    ProcessResult run = cli.run({"providers"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, std::string(provider::kSoftwareGostProviderName) + "\t80\n");

    run = request();
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    const std::string container = ContainerOf(run);
    ASSERT_FALSE(container.empty()) << run.out;
    EXPECT_NE(run.out.find(kRequestSentText), std::string::npos) << run.out;
    struct stat info {};
    ASSERT_EQ(::stat((containers() + container + ".key").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    // The service got a request whose signature the engine verifies.
    test::WriteFile(dir / "stored.pem", server->storedRequest(kEmail));
    const test::ToolResult verify =
        test::Openssl({"req", "-engine", "gost", "-verify", "-noout", "-in", dir / "stored.pem"});
    EXPECT_EQ(verify.status, 0) << verify.err;

    EXPECT_EQ(cli.run({"download", "--email", kEmail}).status, 3) << "not issued yet";
    server->issue(kEmail);
    run = cli.run({"download", "--email", kEmail});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("Сертификат успешно получен."), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("Проверьте"), std::string::npos) << run.out;

    run = cli.run({"check", "--email", kEmail});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("Действителен до даты - "), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Имя : Ivan Petrov"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Издатель : CertQuorix Sandbox GOST CA"), std::string::npos) << run.out;

    run = cli.run({"check", "--email", kEmail}, {"CERTQUORIX_CONTAINER_PASSWORD=wrong"});
    EXPECT_EQ(run.status, 6);
    EXPECT_NE(run.err.find("Неверный пароль контейнера ключей"), std::string::npos) << run.err;
}

// A request of 57k, 57k-1 or 57k-2 bytes has Base64 that fills its last 76-character line, so
// the text sent carries an empty line before the END line. A first request measures each subject;
// padding its organization and locality then lands a request on the length wanted.
TEST_F(CliGostTest, RequestsWhoseBase64FillsTheLastLineAreTaken) {
    struct Subject {
        std::string commonName;
        std::string organization;
        std::string locality;
        size_t shortOfLine; // bytes short of a multiple of 57
    };
    const Subject subjects[] = {{"Ivan Petrov", "Firm", "Moscow", 0},
                                {"Anna Sidorova-Kuznetsova", "Bank", "Tver", 1},
                                {"Li", "Co", "Omsk", 2}};
    int number = 0;
    for (const Subject& subject : subjects) {
        SCOPED_TRACE(subject.commonName);
        const auto send = [&](size_t padding) {
            const std::string email = "s" + std::to_string(++number) + "@mail.example";
            const size_t third = padding / 3;
            const ProcessResult run = cli.run(
                {"request", "--gost", "--email", email, "--country", "RU", "--state", "Moscow",
                 "--locality", subject.locality + std::string(third, 'l'), "--organization",
                 subject.organization + std::string(third, 'o'), "--unit",
                 "U" + std::string(padding - 2 * third, 'u'), "--common-name", subject.commonName});
            EXPECT_EQ(run.status, 0) << run.out << run.err;
            test::WriteFile(dir / "stored.pem", server->storedRequest(email));
            const test::ToolResult der = test::Openssl(
                {"req", "-in", dir / "stored.pem", "-outform", "DER", "-out", dir / "stored.der"});
            EXPECT_EQ(der.status, 0) << der.err;
            return static_cast<size_t>(std::filesystem::file_size(dir / "stored.der"));
        };
        // A length field that grows by a byte can add one to the result, or skip the length
        // wanted: aim again from there, or at the next multiple.
        size_t padding = 0;
        size_t length = send(padding);
        size_t wanted = (length + subject.shortOfLine + 56) / 57 * 57;
        for (int aim = 0; aim < 4 && length + subject.shortOfLine != wanted; ++aim) {
            if (length + subject.shortOfLine > wanted)
                wanted += 57;
            padding = padding + wanted - subject.shortOfLine - length;
            length = send(padding);
        }
        EXPECT_EQ((length + subject.shortOfLine) % 57, 0u) << length;
        EXPECT_EQ((length + 2) / 3 * 4 % 76, 0u) << "Base64 of " << length << " bytes";
    }
}

// A key container that is a pipe nobody writes to is refused at once, naming it.
TEST_F(CliGostTest, ContainerThatIsAPipeIsRefusedNamingIt) {
    const ProcessResult made = request();
    ASSERT_EQ(made.status, 0) << made.err;
    server->issue(kEmail);
    ASSERT_EQ(cli.run({"download", "--email", kEmail}).status, 0);
    const std::string container = containers() + ContainerOf(made) + ".key";
    std::filesystem::remove(container);
    ASSERT_EQ(::mkfifo(container.c_str(), 0600), 0);
    const ProcessResult run = cli.run({"check", "--email", kEmail});
    EXPECT_EQ(run.status, 1) << run.out;
    EXPECT_NE(run.err.find("\"" + container + "\""), std::string::npos) << run.err;
}

TEST_F(CliGostTest, CertificateOfAnEarlierRequestIsToldApart) {
    ASSERT_EQ(request().status, 0);
    server->issue(kEmail);
    ASSERT_EQ(cli.run({"download", "--email", kEmail}).status, 0);
    // Without --yes and without a terminal the working certificate's record is kept.
    const ProcessResult refused = request();
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("--yes"), std::string::npos) << refused.err;
    EXPECT_EQ(cli.run({"check", "--email", kEmail}).status, 0);

    // Refused by the service, the repeat puts the older act and record back and names the
    // container it leaves.
    const std::vector<std::string> repeat = {
        "request",  "--gost",        "--yes",         "--email",    kEmail,   "--country",
        "RU",       "--state",       "Moscow region", "--locality", "Moscow", "--organization",
        "Firm Ltd", "--common-name", "Ivan Petrov"};
    server->setFault("status500");
    const ProcessResult failed = cli.run(repeat);
    server->setFault("");
    EXPECT_EQ(failed.status, 8); // the service refused, as for an RSA request
    EXPECT_NE(failed.err.find("\"" + ContainerOf(failed) + "\" создан и оставлен"),
              std::string::npos)
        << failed.err;
    EXPECT_EQ(cli.run({"check", "--email", kEmail}).status, 0);

    const ProcessResult again = cli.run(repeat);
    ASSERT_EQ(again.status, 0) << again.err;
    const ProcessResult run = cli.run({"check", "--email", kEmail});
    EXPECT_EQ(run.status, 5);
    EXPECT_NE(run.err.find("не соответствует контейнеру ключей \"" + ContainerOf(again)),
              std::string::npos)
        << run.err;
}

/// The names in a folder.
std::set<std::string> NamesIn(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

// A repeat request killed at any step that changes a file: the next operation under the folder's
// lock finds the older act and record, or the new ones (once the journal says the service took
// the request), never one of each, and no temporary, backup or journal of the dead run; the
// container folder keeps no temporary file with a key.
TEST_F(CliGostTest, RepeatRequestKilledAnywhereLeavesTheOlderPairOrTheNewOne) {
    ASSERT_EQ(request().status, 0);
    server->issue(kEmail);
    ASSERT_EQ(cli.run({"download", "--email", kEmail}).status, 0);
    const std::string act = folder() + kEmail + ".rtf";
    const std::vector<std::string> repeat = {
        "request",  "--gost",        "--yes",         "--email",    kEmail,   "--country",
        "RU",       "--state",       "Moscow region", "--locality", "Moscow", "--organization",
        "Firm Ltd", "--common-name", "Ivan Petrov"};
    struct Point {
        const char* name;
        bool newPair;      // the folder keeps the new act and record
        const char* fault; // the service's answer ("" accepts)
    };
    const Point points[] = {
        {"gost-journal-started", false, ""},
        {"container-written", false, ""},
        {"gost-key-made", false, ""},
        {"request-journal-written", false, ""},
        {"request-backups-made", false, ""},
        {"request-file-put", false, ""}, // the act in place, the record not yet
        {"gost-sent", false, ""},        // taken by the service, not yet settled here
        {"request-accepted", true, ""},
        {"request-backup-dropped", true, ""},
        {"request-rolled-back", false, "status500"},
    };
    for (const Point& point : points) {
        SCOPED_TRACE(point.name);
        const std::string olderRecord = test::ReadFile(folder() + "Request.ini");
        const std::string olderAct = test::ReadFile(act);
        server->setFault(point.fault);
        const ProcessResult killed =
            cli.run(repeat, {std::string(kKillPointVariable) + "=" + point.name});
        server->setFault("");
        ASSERT_EQ(killed.status, 128 + SIGKILL) << killed.out << killed.err;
        const ProcessResult check = cli.run({"check", "--email", kEmail});
        EXPECT_EQ(NamesIn(folder()), (std::set<std::string>{"Certificate.cer", "Request.ini",
                                                            kEmail + std::string(".rtf")}));
        for (const std::string& name : NamesIn(containers()))
            EXPECT_TRUE(name.starts_with("QUORIX_R") && name.ends_with(".key")) << name;
        if (!point.newPair) {
            EXPECT_EQ(check.status, 0) << check.err;
            EXPECT_EQ(test::ReadFile(folder() + "Request.ini"), olderRecord);
            EXPECT_EQ(test::ReadFile(act), olderAct);
            continue;
        }
        const std::string container = ContainerOf(killed);
        EXPECT_NE(check.err.find("не соответствует контейнеру ключей \"" + container),
                  std::string::npos)
            << check.err;
        EXPECT_NE(
            FromCp1251(test::ReadFile(folder() + "Request.ini")).find("Container=" + container),
            std::string::npos);
        EXPECT_NE(FromCp1251(test::ReadFile(act)).find(container), std::string::npos);
        // The new request was sent: its certificate makes the folder whole again.
        server->issue(kEmail);
        ASSERT_EQ(cli.run({"download", "--yes", "--email", kEmail}).status, 0);
        ASSERT_EQ(cli.run({"check", "--email", kEmail}).status, 0);
    }
}

// A request of the other kind killed once its files are in place but before the journal says
// the service took it: the folder's record then names the other kind until the request is undone.
// A check and an export take the road of the settled folder, the working pair's.
TEST_F(CliGostTest, RequestOfTheOtherKindKilledMidwayKeepsTheWorkingRoad) {
    cli.writeServiceSettings(*server, {{"UrlRequestGostCertificate", server->url("/gost/requp/")},
                                       {"UrlReceiveGostCertificate", server->url("/gost/certget/")},
                                       {"UrlRequestRSACertificate", server->url("/requp/")},
                                       {"UrlReceiveRSACertificate", server->url("/certget/")}});
    cli.baseEnvironment.push_back("CERTQUORIX_PASSWORD=Secret 1");
    const std::vector<std::string> rsa = {"request",    "--yes",  "--email",       kEmail,
                                          "--locality", "Moscow", "--common-name", "Ivan Petrov"};
    const std::vector<std::string> gost = {
        "request",  "--gost",        "--yes",         "--email",    kEmail,   "--country",
        "RU",       "--state",       "Moscow region", "--locality", "Moscow", "--organization",
        "Firm Ltd", "--common-name", "Ivan Petrov"};
    struct Case {
        const char* what;
        const std::vector<std::string>& working;
        const std::vector<std::string>& interrupted;
        const char* point;
    };
    const Case cases[] = {
        {"GOST over RSA, sent", rsa, gost, "gost-sent"},
        {"GOST over RSA, both files put", rsa, gost, "request-files-put"},
        {"RSA over GOST, all files put", gost, rsa, "request-files-put"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(folder());
        ASSERT_EQ(cli.run(c.working).status, 0);
        server->issue(kEmail);
        ASSERT_EQ(cli.run({"download", "--yes", "--email", kEmail}).status, 0);
        const ProcessResult killed =
            cli.run(c.interrupted, {std::string(kKillPointVariable) + "=" + c.point});
        EXPECT_EQ(killed.status, 128 + SIGKILL) << killed.err;
        const ProcessResult check = cli.run({"check", "--email", kEmail});
        EXPECT_EQ(check.status, 0) << check.err;
        const ProcessResult exported = cli.run({"export", "--email", kEmail, "--no-open"});
        EXPECT_EQ(exported.status, 0) << exported.err;
    }
}

// A first request killed at any step before the service took it leaves none of its files: the
// next request is a first request again, asked nothing.
TEST_F(CliGostTest, FirstRequestKilledBeforeItWasTakenLeavesNoFile) {
    for (const char* point :
         {"request-journal-written", "request-file-put", "request-files-put", "gost-sent"}) {
        SCOPED_TRACE(point);
        const ProcessResult killed = cli.run(
            {"request", "--gost", "--email", kEmail, "--country", "RU", "--state", "Moscow region",
             "--locality", "Moscow", "--organization", "Firm Ltd", "--common-name", "Ivan Petrov"},
            {std::string(kKillPointVariable) + "=" + point});
        EXPECT_EQ(killed.status, 128 + SIGKILL) << killed.err;
        cli.run({"check", "--email", kEmail}); // settles what the killed run left
        EXPECT_EQ(NamesIn(folder()), std::set<std::string>()) << point;
        std::filesystem::remove_all(folder());
    }
    EXPECT_EQ(request().status, 0);
}

// A container folder that cannot be made is told in Russian, naming what is in the way, before
// the password would be asked (here it could not be: no variable, no terminal).
TEST_F(CliGostTest, ContainerFolderThatCannotBeMadeIsToldBeforeThePassword) {
    test::WriteFile(dir / "xdg", "a file where the data folder should be");
    const ProcessResult run =
        request("Firm Ltd", {"CERTQUORIX_CONTAINER_PASSWORD", "XDG_DATA_HOME=" + (dir / "xdg")});
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_NE(run.err.find("System Error.  Code: 20.\r\nПапка контейнеров ключей " + dir.path() +
                           "xdg/CertQuorix/containers не может быть создана: на месте папки " +
                           dir.path() + "xdg находится файл"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(run.err.find("Запрос отменён"), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists(folder()));
}

TEST_F(CliGostTest, CancelledPasswordWritesNothing) {
    // No variable and no terminal: the dialog cannot be answered, which counts as a cancel.
    const std::string stored = server->storedRequest(kEmail);
    const ProcessResult run = request("Firm Ltd", {"CERTQUORIX_CONTAINER_PASSWORD"});
    EXPECT_EQ(run.status, 2) << run.err;
    EXPECT_FALSE(std::filesystem::exists(folder()));
    EXPECT_FALSE(std::filesystem::exists(containers()));
    EXPECT_EQ(server->storedRequest(kEmail), stored) << "nothing was sent";
}

// The at sign passes the tool's field filter but not a PrintableString: found before a key is
// made, so neither a container nor a folder is left.
TEST_F(CliGostTest, EncodingErrorMakesNoContainerAndNoFolder) {
    const ProcessResult run = request("Firm@Ltd");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("Строка содержит непечатаемый символ."), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists(containers() + ContainerOf(run) + ".key")) << run.out;
    EXPECT_EQ(run.err.find("создан и оставлен"), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists(folder()));
}

TEST_F(CliGostTest, EngineIsFoundByItsPathToo) {
    const ProcessResult run =
        cli.run({"providers"}, {"CERTQUORIX_GOST_ENGINE=" + provider::GostEnginePath(),
                                "CERTQUORIX_CONTAINER_PASSWORD"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, std::string(provider::kSoftwareGostProviderName) + "\t80\n");
}

/// A small file system of its own (tmpfs) that can be filled up; not mounted without root or
/// where mounting is not allowed.
class SmallDisk {
public:
    explicit SmallDisk(const std::string& folder) : folder_(folder) {
        std::filesystem::create_directories(folder);
        mounted_ = ::geteuid() == 0 && ::mount("tmpfs", folder.c_str(), "tmpfs",
                                               MS_NOSUID | MS_NODEV, "size=1m,mode=0700") == 0;
    }
    ~SmallDisk() {
        if (mounted_)
            ::umount2(folder_.c_str(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;
    bool mounted() const { return mounted_; }
    /// Writes a file until no byte more fits.
    void fill() const {
        const int fd = ::open((folder_ + "/filler").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        const std::string block(4096, 'x');
        while (::write(fd, block.data(), block.size()) > 0) {
        }
        (void)!::write(fd, block.data(), 1); // the last partial block
        ::close(fd);
    }

private:
    std::string folder_;
    bool mounted_ = false;
};

// A full disk is told with the system's code, the file and the problem in Russian; the folder
// keeps what it had and no container is made for a request that cannot be written.
TEST_F(CliGostTest, FullDiskIsToldInRussianNamingTheFile) {
    const SmallDisk disk(dir / "disk");
    if (!disk.mounted())
        GTEST_SKIP() << "a small file system needs root and the right to mount one";
    // The settings, and so the certificate folders, on the small disk.
    std::filesystem::copy_file(dir / "CertQuorix.ini", dir / "disk/CertQuorix.ini");
    IniFile redirect;
    redirect.WriteString("Common", "inFile", dir / "disk/CertQuorix.ini");
    redirect.Save(dir / "CertQuorix.ini");
    const std::string folder = dir / "disk/" + std::string(kEmail) + "/";
    ASSERT_EQ(request().status, 0);
    server->issue(kEmail);
    const auto before = NamesIn(folder);
    const auto containersBefore = NamesIn(containers());
    const std::string record = test::ReadFile(folder + "Request.ini");
    disk.fill();

    ProcessResult run = cli.run({"download", "--email", kEmail});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("System Error.  Code: 28.\r\n" + folder +
                           "Certificate.cer : Недостаточно места на диске."),
              std::string::npos)
        << run.err;
    EXPECT_EQ(NamesIn(folder), before);

    run = cli.run({"request", "--gost", "--yes", "--email", kEmail, "--country", "RU", "--state",
                   "Moscow region", "--locality", "Moscow", "--organization", "Firm Ltd",
                   "--common-name", "Ivan Petrov"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("System Error.  Code: 28.\r\n" + folder), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(" : Недостаточно места на диске."), std::string::npos) << run.err;
    EXPECT_EQ(NamesIn(folder), before);
    EXPECT_EQ(test::ReadFile(folder + "Request.ini"), record);
    EXPECT_EQ(NamesIn(containers()), containersBefore);
}

/// Everything the run's log files hold.
std::string LogText(const std::string& folder) {
    std::string log;
    if (std::filesystem::exists(folder))
        for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
            if (entry.is_regular_file())
                log += FromCp1251(test::ReadFile(entry.path()));
    return log;
}

// A missing engine, or one that does no GOST, leaves no provider: the error keeps its text, and
// the console and the log add why and what to do.
TEST_F(CliGostTest, MissingOrWrongEngineLeavesNoProviderAndSaysWhy) {
    struct Case {
        const char* what;
        std::string engine;
        std::string cause;
    };
    const Case cases[] = {
        {"missing", dir / "none.so",
         "движок ГОСТ для OpenSSL \"" + (dir / "none.so") + "\" не найден или не загружается."},
        {"not GOST", CQ_TEST_ENGINE_MODULE,
         "движок OpenSSL \"" + std::string(CQ_TEST_ENGINE_MODULE) +
             "\" не поддерживает ключи ГОСТ Р 34.10-2012 и хэширование ГОСТ Р 34.11-2012."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(dir / "Logs");
        const std::vector<std::string> engine = {"CERTQUORIX_GOST_ENGINE=" + c.engine,
                                                 "CERTQUORIX_CONTAINER_PASSWORD"};
        const std::string told = "Программный крипто провайдер ГОСТ недоступен: " + c.cause + " " +
                                 provider::kGostEngineRemedy;
        ProcessResult run = cli.run({"providers"}, engine);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err, std::string(kNoProviderText) + "\n" + told + "\n");
        EXPECT_NE(LogText(dir / "Logs").find(told), std::string::npos);
        run = request("Firm Ltd", engine);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err, std::string(kNoProviderText) + "\n" + told + "\n");
    }
}

// A sound container checked while the engine is wrong is not called damaged: the check names the
// engine as the reason.
TEST_F(CliGostTest, WrongEngineIsNeverReportedAsADamagedContainer) {
    ASSERT_EQ(request().status, 0);
    server->issue(kEmail);
    ASSERT_EQ(cli.run({"download", "--email", kEmail}).status, 0);
    for (const std::string& engine : {std::string(CQ_TEST_ENGINE_MODULE), dir / "none.so"}) {
        const ProcessResult run =
            cli.run({"check", "--email", kEmail}, {"CERTQUORIX_GOST_ENGINE=" + engine});
        EXPECT_EQ(run.status, 1) << engine;
        EXPECT_EQ(run.err.find("повреждён"), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("\"" + engine + "\""), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("libengine-gost-openssl"), std::string::npos) << run.err;
    }
    EXPECT_EQ(cli.run({"check", "--email", kEmail}).status, 0);
}

} // namespace
} // namespace cq
