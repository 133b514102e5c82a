// How near its end each certificate is, as the command-line tool tells it: `list` with the
// warning period's exit status and the renewal state, `status`, the desktop notice `notify`
// against a stand-in notification service on a private session bus, and the administrator's
// `report --all-users` over users' folders it must not change.
#include "CliFixture.h"
#include "RetrievalFixture.h"
#include "base/IniFile.h"
#include "certs/RenewalState.h"
#include "cli/Commands.h"
#include "settings/CertFolders.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace cq::test;
using Json = nlohmann::json;
namespace fs = std::filesystem;

const std::string kSoon = "soon@example.ru";   // ends in 10 days
const std::string kLater = "later@example.ru"; // ends in 400 days
const std::string kFresh = "fresh@example.ru"; // nothing requested

/// A self-signed certificate (PEM) that ends `days` days from now, made by openssl.
std::string CertificateEndingIn(int days) {
    const TempDir scratch;
    const ProcessResult made = RunProcess(
        {"openssl", "req", "-x509", "-newkey", "rsa:1024", "-nodes", "-keyout", scratch / "key.pem",
         "-subj", "/CN=Expiry Test", "-days", std::to_string(days), "-out", scratch / "cert.pem"});
    EXPECT_EQ(made.status, 0) << made.err;
    return ReadFile(scratch / "cert.pem");
}

/// Puts `files` (name, content) into a new certificate folder `folder` (0700).
void MakeCertificateFolder(const std::string& folder,
                           const std::vector<std::pair<std::string, std::string>>& files) {
    fs::create_directories(folder);
    ::chmod(folder.c_str(), 0700);
    for (const auto& [name, content] : files)
        WriteFile(folder + name, content);
}

/// Waits (bounded) until `path` exists; whether it does is the caller's to check.
void WaitForFile(const std::string& path) {
    for (int i = 0; i < 500 && !fs::exists(path); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

class CliExpiry : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        soon = new std::string(CertificateEndingIn(10));
        later = new std::string(CertificateEndingIn(400));
    }
    static void TearDownTestSuite() {
        delete soon;
        delete later;
    }

    void SetUp() override {
        MakeCertificateFolder(cli.folder(kSoon), {{cq::kCertificateFile, *soon}});
        MakeCertificateFolder(cli.folder(kLater), {{cq::kCertificateFile, *later}});
        writeSettings();
    }

    /// The settings file: the three addresses and, when given, WarnDays.
    void writeSettings(const std::string& warnDays = {}) const {
        cq::IniFile ini;
        ini.WriteString("Email", "List", kFresh + "|" + kLater + "|" + kSoon);
        if (!warnDays.empty())
            ini.WriteString("Cert", "WarnDays", warnDays);
        ini.Save(dir / "CertQuorix.ini");
    }

    static std::string* soon;
    static std::string* later;
    TempDir dir;
    CliProgram cli{dir.path()};
};

std::string* CliExpiry::soon = nullptr;
std::string* CliExpiry::later = nullptr;

TEST_F(CliExpiry, ListEndsWithItsOwnStatusWithinTheWarningPeriod) {
    struct Case {
        std::string warnDaysSetting;
        std::vector<std::string> args;
        int status;
    };
    const int expiring = cq::cli::kExitExpiring;
    const Case cases[] = {
        {"", {"list"}, expiring}, // 10 days left, 30 by default
        {"", {"list", "--warn-days", "5"}, 0},
        {"", {"list", "--warn-days", "500"}, expiring},
        {"5", {"list"}, 0},
        {"5", {"list", "--warn-days=60"}, expiring}, // the option beats the setting
        {"-3", {"list"}, expiring},                  // not a period: the default
        {"", {"list", "--json", "--warn-days", "5"}, 0},
        {"", {"list", "--json"}, expiring},
        {"", {"list", "--warn-days", "-1"}, cq::cli::kExitUsage},
        {"", {"list", "--warn-days", "ten"}, cq::cli::kExitUsage},
        {"", {"list", "--warn-days", "36501"}, cq::cli::kExitUsage},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.warnDaysSetting + " " + ::testing::PrintToString(c.args));
        writeSettings(c.warnDaysSetting);
        const ProcessResult run = cli.run(c.args);
        EXPECT_EQ(run.status, c.status) << run.err;
        if (c.status == cq::cli::kExitUsage) {
            EXPECT_NE(run.err.find("--warn-days"), std::string::npos) << run.err;
            continue;
        }
        // The listing is whole either way.
        if (run.out.starts_with("{")) {
            const Json listed = Json::parse(run.out)["addresses"];
            ASSERT_EQ(listed.size(), 3u) << run.out;
            EXPECT_EQ(listed[2]["email"], kSoon);
            EXPECT_NEAR(listed[2]["days_left"].get<int>(), 10, 1);
        } else {
            ASSERT_EQ(Lines(run.out).size(), 3u) << run.out;
            EXPECT_TRUE(Lines(run.out)[2].starts_with(kSoon + "\tполучен\tдо ")) << run.out;
        }
    }
}

TEST_F(CliExpiry, ListAndStatusTellWhereTheRenewalStands) {
    MakeCertificateFolder(cli.folder(kFixtureEmail),
                          {{cq::kCertificateFile, ReadFile(RetrievalData("user.cer"))},
                           {cq::kCertificateKeyFile, ReadFile(RetrievalData("user-des3.key"))},
                           {cq::kRenewalRecordFile, "[Cert]\r\n"},
                           {cq::kRenewalKeyFile, "key"}});
    fs::create_directory(cli.folder(kLater) + "Previous-20261201-093000");
    cq::IniFile ini;
    ini.WriteString("Email", "List", kLater + "|" + kSoon + "|" + kFixtureEmail);
    ini.Save(dir / "CertQuorix.ini");

    ProcessResult run = cli.run({"list", "--warn-days", "0"});
    EXPECT_EQ(run.status, 0) << run.err;
    const std::vector<std::string> lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 3u) << run.out;
    EXPECT_TRUE(lines[0].ends_with("\tпродление: issued")) << lines[0];
    EXPECT_EQ(lines[1].find("продление"), std::string::npos) << lines[1];
    EXPECT_TRUE(lines[2].ends_with("\tпродление: pending")) << lines[2];

    run = cli.run({"list", "--json", "--warn-days", "0"});
    const Json listed = Json::parse(run.out)["addresses"];
    ASSERT_EQ(listed.size(), 3u) << run.out;
    EXPECT_EQ(listed[0]["renewal"], "issued");
    EXPECT_EQ(listed[1]["renewal"], "none");
    EXPECT_EQ(listed[2]["renewal"], "pending");

    // The working pair still checks while the renewal is pending.
    WriteFile(cli.home / "password", kFixturePassword);
    run = cli.run(
        {"status", "--email", kFixtureEmail, "--password-file", cli.home / "password", "--json"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Json::parse(run.out)["renewal"], "pending") << run.out;
    run = cli.run({"status", "--email", kFixtureEmail, "--password-file", cli.home / "password"});
    EXPECT_NE(run.out.find("\nПродление: pending\n"), std::string::npos) << run.out;
}

/// A private session bus with the stand-in notification service on it (or without it).
class NotifyBus : public CliExpiry {
protected:
    void SetUp() override {
        CliExpiry::SetUp();
        if (RunProcess({"/usr/bin/python3", "-c", "import dbus, gi"}).status != 0 ||
            RunProcess({"sh", "-c", "command -v dbus-daemon"}).status != 0)
            GTEST_SKIP() << "needs dbus-daemon and python3-dbus";
        const ProcessResult bus = RunProcess(
            {"dbus-daemon", "--session", "--fork", "--print-address=1", "--print-pid=1"});
        ASSERT_EQ(bus.status, 0) << bus.err;
        const std::vector<std::string> lines = Lines(bus.out);
        ASSERT_EQ(lines.size(), 2u) << bus.out;
        address = lines[0];
        busPid = std::stoi(lines[1]);
    }

    void TearDown() override {
        StopProcess(servicePid);
        if (busPid > 0)
            ::kill(busPid, SIGTERM);
    }

    /// Starts the stand-in service; with `invokeDefault` it takes each notice's default action.
    void startService(bool invokeDefault) {
        std::vector<std::string> argv = {
            "/usr/bin/env",
            "DBUS_SESSION_BUS_ADDRESS=" + address,
            "/usr/bin/python3",
            std::string(CQ_SOURCE_DIR) + "/tests/notify/notification_service.py",
            "--record",
            record,
            "--ready",
            scratch / "ready"};
        if (invokeDefault)
            argv.push_back("--invoke-default");
        servicePid = StartBackground(argv, scratch / "service.log");
        WaitForFile(scratch / "ready");
        ASSERT_TRUE(fs::exists(scratch / "ready")) << ReadFile(scratch / "service.log");
    }

    ProcessResult notify() const {
        return cli.run({"notify"}, {"DBUS_SESSION_BUS_ADDRESS=" + address});
    }

    /// The Notify calls the service took.
    std::vector<Json> notices() const {
        std::vector<Json> calls;
        if (fs::exists(record))
            for (const std::string& line : Lines(ReadFile(record)))
                calls.push_back(Json::parse(line));
        return calls;
    }

    TempDir scratch;
    std::string record = scratch / "notices.jsonl";
    std::string address;
    pid_t busPid = -1;
    pid_t servicePid = -1;
};

TEST_F(NotifyBus, OneNoticeADayForEachAddressWithinThePeriod) {
    startService(false);
    ProcessResult run = notify();
    EXPECT_EQ(run.status, 0) << run.err;
    std::vector<Json> calls = notices();
    ASSERT_EQ(calls.size(), 1u) << run.err;
    EXPECT_NE(calls[0]["body"].get<std::string>().find(kSoon), std::string::npos) << calls[0];
    EXPECT_NE(calls[0]["body"].get<std::string>().find("осталось дней: "), std::string::npos);
    EXPECT_EQ(calls[0]["actions"][0], "default");

    run = notify(); // the same day: told already
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(notices().size(), 1u);

    // A longer period takes the other certificate in; the first is still told only once today.
    writeSettings("500");
    run = notify();
    EXPECT_EQ(run.status, 0) << run.err;
    calls = notices();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_NE(calls[1]["body"].get<std::string>().find(kLater), std::string::npos) << calls[1];
}

TEST_F(NotifyBus, NoServiceIsNoFailureAndLeavesTheDayUntold) {
    ProcessResult run = notify(); // the bus is there, the service is not
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("служба уведомлений недоступна"), std::string::npos) << run.err;

    run = cli.run({"notify"}, {"DBUS_SESSION_BUS_ADDRESS=unix:path=" + (scratch / "no-bus")});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("Уведомления не показаны"), std::string::npos) << run.err;

    startService(false);
    run = notify();
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(notices().size(), 1u) << "the notice that could not be shown is shown now";
}

TEST_F(NotifyBus, TheDefaultActionOpensTheWindowOnTheAddress) {
    // The window program beside the tool: a stand-in that notes how it was started.
    WriteFile(dir / "certquorix", "#!/bin/sh\necho \"$@\" > '" + (scratch / "window.args") +
                                      ".part'\nmv '" + (scratch / "window.args") + ".part' '" +
                                      (scratch / "window.args") + "'\n");
    ::chmod((dir / "certquorix").c_str(), 0755);
    startService(true);
    const ProcessResult run = notify();
    EXPECT_EQ(run.status, 0) << run.err;
    WaitForFile(scratch / "window.args");
    ASSERT_TRUE(fs::exists(scratch / "window.args")) << run.err;
    EXPECT_EQ(ReadFile(scratch / "window.args"), "--email " + kSoon + "\n");
}

TEST_F(NotifyBus, ALinkInPlaceOfTheRecordIsRefused) {
    startService(false);
    const std::string elsewhere = scratch / "elsewhere.ini";
    WriteFile(elsewhere, "");
    fs::create_directories(cli.home / "CertQuorix");
    fs::create_symlink(elsewhere, cli.home / "CertQuorix/Notified.ini");
    const ProcessResult run = notify();
    EXPECT_NE(run.status, 0);
    EXPECT_EQ(ReadFile(elsewhere), "");
    EXPECT_TRUE(notices().empty());
}

/// Every file's content and every entry's modification time under `root`, links as links.
std::map<std::string, std::string> Snapshot(const std::string& root) {
    std::map<std::string, std::string> state;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        struct stat info {};
        ::lstat(entry.path().c_str(), &info);
        std::string facts = std::to_string(info.st_mtim.tv_sec) + "." +
                            std::to_string(info.st_mtim.tv_nsec) + " " +
                            std::to_string(info.st_mode);
        if (entry.is_regular_file() && !entry.is_symlink())
            facts += " " + ReadFile(entry.path());
        state[entry.path()] = facts;
    }
    return state;
}

class CliReport : public CliExpiry {
protected:
    void SetUp() override {
        CliExpiry::SetUp();
        WriteFile(dir / "CertQuorix.ini",
                  "[Common]\r\ninFile=%HOME%/.local/share/CertQuorix/CertQuorix.ini\r\n");
        addUser("anna", {{kSoon, *soon}});
        addUser("boris", {{kLater, *later}});
        fs::create_directory(dataFolder("boris") + kLater + "/Previous-20261201-093000");
        // carl's settings file is a link to somebody else's.
        fs::create_directories(dataFolder("carl"));
        fs::create_symlink(dataFolder("anna") + "CertQuorix.ini",
                           dataFolder("carl") + "CertQuorix.ini");
        // Inside the run the tool is root: as root itself, or in a user namespace that maps this
        // user to root (the files of the fake homes are then root's there too).
        std::string passwd;
        for (const char* user : {"anna", "boris", "carl"})
            passwd += std::string(user) + ":x:0:0::" + (homes / user) + ":/bin/sh\n";
        passwd += "nobody:x:65534:65534::/nonexistent:/usr/sbin/nologin\n";
        WriteFile(scratch / "passwd", passwd);
        if (::geteuid() != 0) {
            if (RunProcess({"unshare", "-r", "true"}).status != 0)
                GTEST_SKIP() << "needs root or user namespaces";
            cli.runner = {"unshare", "-r", "--"};
        }
    }

    std::string dataFolder(const std::string& user) const {
        return homes / (user + "/.local/share/CertQuorix/");
    }

    void addUser(const std::string& user,
                 const std::vector<std::pair<std::string, std::string>>& certificates) const {
        std::string list;
        for (const auto& [email, certificate] : certificates) {
            MakeCertificateFolder(dataFolder(user) + email + "/",
                                  {{cq::kCertificateFile, certificate}});
            list += email + "|";
        }
        cq::IniFile ini;
        ini.WriteString("Email", "List", list + kFresh);
        ini.Save(dataFolder(user) + "CertQuorix.ini");
    }

    ProcessResult report(std::vector<std::string> args) const {
        args.insert(args.begin(), {"report", "--all-users"});
        return cli.run(args, {"CERTQUORIX_REPORT_PASSWD=" + (scratch / "passwd"),
                              "HOME=" + cli.home.path(), "XDG_DATA_HOME"});
    }

    TempDir homes;
    TempDir scratch;
};

TEST_F(CliReport, TellsEveryUsersCertificatesAndWritesNothingIntoTheirFolders) {
    const auto before = Snapshot(homes.path());

    ProcessResult run = report({});
    EXPECT_EQ(run.status, cq::cli::kExitExpiring) << run.err;
    const std::vector<std::string> lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 5u) << run.out;
    EXPECT_TRUE(lines[0].starts_with("anna\t" + kSoon + "\tполучен\tдо ")) << lines[0];
    EXPECT_EQ(lines[1], "anna\t" + kFresh + "\tнет ключа");
    EXPECT_TRUE(lines[2].starts_with("boris\t" + kLater + "\tполучен\tдо ")) << lines[2];
    EXPECT_TRUE(lines[2].ends_with("\tпродление: issued")) << lines[2];
    EXPECT_EQ(lines[3], "boris\t" + kFresh + "\tнет ключа");
    EXPECT_TRUE(lines[4].starts_with("carl\t\t")) << lines[4];
    EXPECT_NE(lines[4].find("символическая ссылка"), std::string::npos) << lines[4];

    run = report({"--json", "--warn-days", "5"});
    EXPECT_EQ(run.status, 0) << run.err;
    const Json document = Json::parse(run.out);
    EXPECT_EQ(document["warn_days"], 5);
    const Json& users = document["users"];
    ASSERT_EQ(users.size(), 3u) << run.out;
    EXPECT_EQ(users[0]["user"], "anna");
    EXPECT_EQ(users[0]["data_folder"], dataFolder("anna"));
    EXPECT_NEAR(users[0]["addresses"][0]["days_left"].get<int>(), 10, 1);
    EXPECT_EQ(users[1]["addresses"][0]["renewal"], "issued");
    EXPECT_TRUE(users[2]["addresses"].empty());
    EXPECT_TRUE(users[2].contains("problem"));

    EXPECT_EQ(Snapshot(homes.path()), before);
}

TEST_F(CliReport, IsTheAdministratorsOnly) {
    if (::geteuid() == 0) { // the tool runs as nobody, who may run it from this folder
        ::chmod(dir.path().c_str(), 0755);
        cli.runner = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"};
    } else {
        cli.runner.clear();
    }
    const ProcessResult run = report({});
    EXPECT_EQ(run.status, cq::cli::kExitUsage) << run.err;
    EXPECT_NE(run.err.find("доступен только администратору"), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");
}

} // namespace
