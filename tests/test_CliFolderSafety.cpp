// What certquorix-cli finds in and around a certificate folder is data, not an order: a link or
// an odd file where the tool writes, a folder that is a link, another user's or writable by
// others, and the path given to export -o. The tool refuses, names the file or folder, and
// leaves everything (inside the folder and outside it) as it was.
#include "CliFixture.h"
#include "SandboxServer.h"
#include "TestSupport.h"
#include "base/FileUtil.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <pwd.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace cq {
namespace {

using test::ProcessResult;
using test::ReadFile;
using test::WriteFile;
namespace fs = std::filesystem;

constexpr const char* kEmail = "ivan.petrov@mail.example";
constexpr const char* kPassword = "CERTQUORIX_PASSWORD=Secret 1";

/// Every regular file under a folder with its bytes.
std::map<std::string, std::string> Snapshot(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file())
            files[entry.path().filename().string()] = ReadFile(entry.path().string());
    return files;
}

/// The names in a folder.
std::set<std::string> Names(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

class CliFolderSafetyTest : public test::CliSandboxTest {
protected:
    void SetUp() override {
        CliSandboxTest::SetUp();
        cli.writeServiceSettings(*server, {{"UrlRequestRSACertificate", server->url("/requp/")},
                                           {"UrlReceiveRSACertificate", server->url("/certget/")}});
        cli.baseEnvironment = {kPassword};
    }

    /// An address requested, issued and downloaded: its folder holds key, act, record and
    /// certificate.
    void receive(const std::string& email) {
        ProcessResult run = cli.run(request(email));
        ASSERT_EQ(run.status, 0) << run.err;
        server->issue(email);
        run = cli.run({"download", "--email", email});
        ASSERT_EQ(run.status, 0) << run.err;
    }
    static std::vector<std::string> request(const std::string& email) {
        return {"request", "--email", email, "--common-name", "Ivan Petrov", "--yes"};
    }
    std::string folder(const std::string& email = kEmail) const { return cli.folder(email); }
    /// Where links lead: nothing but what the test puts there may appear in it.
    test::TempDir elsewhere;
};

/// Something odd put where the tool writes a file, and what must hold of it afterwards.
struct Oddity {
    const char* what;
    std::function<void(const std::string& path, const std::string& outside)> make;
    /// Checks the name and the outside file after the command.
    std::function<void(const std::string& path, const std::string& outside,
                       const std::string& outsideBytes)>
        unchanged;
};

const std::vector<Oddity>& Oddities() {
    static const std::vector<Oddity> oddities = {
        {"a link to a file outside the folder",
         [](const std::string& path, const std::string& outside) {
             fs::create_symlink(outside, path);
         },
         [](const std::string& path, const std::string& outside, const std::string& bytes) {
             EXPECT_TRUE(fs::is_symlink(path));
             EXPECT_EQ(ReadFile(outside), bytes);
         }},
        {"a link that leads nowhere",
         [](const std::string& path, const std::string& outside) {
             fs::remove(outside);
             fs::create_symlink(outside, path);
         },
         [](const std::string& path, const std::string& outside, const std::string&) {
             EXPECT_TRUE(fs::is_symlink(path));
             EXPECT_FALSE(fs::exists(outside));
         }},
        {"a pipe",
         [](const std::string& path, const std::string&) {
             ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
         },
         [](const std::string& path, const std::string&, const std::string&) {
             EXPECT_TRUE(fs::is_fifo(path));
         }},
    };
    return oddities;
}

/// A file a command writes into the folder, and the command.
struct Writer {
    std::string file;
    std::vector<std::string> args;
};

/// Puts each oddity in turn in the place of each writer's file and runs its command: it refuses,
/// naming the file; the file outside keeps its bytes, nothing appears beside it, `alsoHolds`
/// holds, and once the file is back the folder is `before` again.
void ExpectEveryWriterRefusesEveryOddity(auto& cli, const std::string& folder,
                                         const test::TempDir& elsewhere,
                                         const std::map<std::string, std::string>& before,
                                         const std::vector<Writer>& writers,
                                         const std::function<void()>& alsoHolds = {}) {
    const std::string outside = elsewhere / "outside";
    for (const Writer& writer : writers) {
        for (const Oddity& oddity : Oddities()) {
            SCOPED_TRACE(writer.file + " as " + oddity.what + ", " + writer.args[0]);
            const std::string path = folder + writer.file;
            const auto kept = before.find(writer.file);
            const std::string outsideBytes = kept != before.end() ? kept->second : "outside";
            WriteFile(outside, outsideBytes);
            fs::remove(path);
            oddity.make(path, outside);
            const ProcessResult run = cli.run(writer.args);
            EXPECT_NE(run.status, 0) << run.out;
            EXPECT_NE(run.err.find("Файл " + path + " не может быть записан: на его месте "),
                      std::string::npos)
                << run.err;
            oddity.unchanged(path, outside, outsideBytes);
            // No journal, backup or temporary file beside what a link points to.
            EXPECT_EQ(Names(elsewhere.path()), fs::exists(outside)
                                                   ? std::set<std::string>{"outside"}
                                                   : std::set<std::string>{});
            if (alsoHolds)
                alsoHolds();
            fs::remove(path);
            if (kept != before.end())
                WriteFile(path, kept->second);
            EXPECT_EQ(Snapshot(folder), before);
        }
    }
}

// Each file a command writes into the folder, replaced in turn by a link or a pipe: the command
// refuses before it makes a key or asks the service, naming the file; the file outside that a
// link points to (a working key moved away and linked back, for one) keeps its bytes, and the
// folder's other files stay as they were.
TEST_F(CliFolderSafetyTest, NoFileOfTheFolderIsWrittenThroughALinkOrOverAnOddFile) {
    ASSERT_NO_FATAL_FAILURE(receive(kEmail));
    const std::map<std::string, std::string> before = Snapshot(folder());
    ASSERT_TRUE(before.count(std::string(kEmail) + ".rtf")) << "the act is among the files";
    const std::vector<Writer> writers = {
        {"Certificate.key", request(kEmail)},
        {std::string(kEmail) + ".rtf", request(kEmail)},
        {"Request.ini", request(kEmail)},
        {"Certificate.cer", {"download", "--email", kEmail, "--yes"}},
        {"Certificate.p12", {"export", "--email", kEmail, "--no-open"}},
    };
    ExpectEveryWriterRefusesEveryOddity(cli, folder(), elsewhere, before, writers);
    EXPECT_EQ(cli.run({"check", "--email", kEmail}).status, 0);
}

// A folder that a link stands for, that another user owns, or that others may write to, is
// refused by every command before it reads or writes anything in it, naming the folder and what
// is wrong; one that others may only read is used.
TEST_F(CliFolderSafetyTest, AFolderThatIsALinkAnotherUsersOrOpenToWritingIsRefused) {
    ASSERT_NO_FATAL_FAILURE(receive(kEmail));
    const std::string path = ExcludeTrailingPathDelimiter(folder());
    const std::string moved = cli.home / "moved";
    struct State {
        const char* what;
        std::function<void()> make;
        std::function<void()> undo;
        const char* problem;
        bool needsRoot;
    };
    const passwd* nobody = ::getpwnam("nobody");
    const std::vector<State> states = {
        {"a link to a folder elsewhere",
         [&] {
             fs::rename(path, moved);
             fs::create_directory_symlink(moved, path);
         },
         [&] {
             fs::remove(path);
             fs::rename(moved, path);
         },
         "является ссылкой", false},
        {"open to all", [&] { ::chmod(path.c_str(), 0777); }, [&] { ::chmod(path.c_str(), 0700); },
         "открыта другим пользователям для записи", false},
        {"writable by the group", [&] { ::chmod(path.c_str(), 0770); },
         [&] { ::chmod(path.c_str(), 0700); }, "открыта другим пользователям для записи", false},
        {"another user's",
         [&] { ASSERT_EQ(::chown(path.c_str(), nobody ? nobody->pw_uid : 65534, 0), 0); },
         [&] { ASSERT_EQ(::chown(path.c_str(), 0, 0), 0); }, "принадлежит другому пользователю",
         true},
    };
    const std::vector<std::vector<std::string>> commands = {
        request(kEmail),
        {"download", "--email", kEmail, "--yes"},
        {"check", "--email", kEmail},
        {"export", "--email", kEmail, "--no-open"},
    };
    const std::map<std::string, std::string> before = Snapshot(folder());
    for (const State& state : states) {
        if (state.needsRoot && ::geteuid() != 0) {
            std::cout << "Not run without root: a folder of " << state.what << "\n";
            continue;
        }
        for (const std::vector<std::string>& command : commands) {
            SCOPED_TRACE(std::string(state.what) + ", " + command[0]);
            state.make();
            const ProcessResult run = cli.run(command);
            state.undo();
            EXPECT_NE(run.status, 0) << run.out;
            EXPECT_NE(run.err.find("Папка сертификата " + path + " " + state.problem),
                      std::string::npos)
                << run.err;
            EXPECT_EQ(Snapshot(folder()), before);
        }
    }
    // Others may list and read the folder: its files are the owner's alone.
    ::chmod(path.c_str(), 0755);
    const ProcessResult run = cli.run({"check", "--email", kEmail});
    EXPECT_EQ(run.status, 0) << run.err;
}

// export -o: a file that exists is replaced only with --yes; a certificate folder's files (of
// this address or another, existing or not) and the settings file (also named through a link to
// its folder) never are; a link or a pipe at the path is refused, and what a link points to
// keeps its bytes.
TEST_F(CliFolderSafetyTest, ExportCopyReplacesOnlyWhatItMayAndNeverThroughALink) {
    const std::string other = "anna@mail.example";
    ASSERT_NO_FATAL_FAILURE(receive(kEmail));
    ASSERT_NO_FATAL_FAILURE(receive(other));
    fs::create_directory_symlink(ExcludeTrailingPathDelimiter(cli.programFolder()),
                                 cli.home / "program");
    const std::string outside = cli.home / "outside";
    struct Target {
        const char* what;
        std::string path;
        std::function<void(const std::string& path)> make; // nothing: the path is left as it is
        bool yes;
        bool replaced;
        std::string says;
    };
    const auto older = [](const std::string& path) {
        WriteFile(path, "older");
    };
    const auto link = [&](const std::string& path) {
        fs::create_symlink(outside, path);
    };
    const std::string refused = " не может быть записан: ";
    const std::vector<Target> targets = {
        {"an existing file without --yes", cli.home / "copy.p12", older, false, false,
         "уже существует; копия не записана (для замены укажите --yes)"},
        {"an existing file with --yes", cli.home / "copy.p12", older, true, true, ""},
        {"the address's own key", folder() + "Certificate.key", nullptr, true, false,
         refused + "он в папке сертификата " + ExcludeTrailingPathDelimiter(folder())},
        {"another address's certificate", folder(other) + "Certificate.cer", nullptr, true, false,
         refused + "он в папке сертификата"},
        {"a new file in a certificate folder", folder(other) + "copy.p12", nullptr, true, false,
         refused + "он в папке сертификата"},
        {"the settings file", cli.programFolder() + "CertQuorix.ini", nullptr, true, false,
         refused + "это файл параметров программы"},
        {"the settings file through a link to its folder", cli.home / "program/CertQuorix.ini",
         nullptr, true, false, refused + "это файл параметров программы"},
        {"a link to a file outside", cli.home / "link.p12", link, true, false,
         refused + "на его месте символическая ссылка"},
        {"a pipe", cli.home / "pipe.p12",
         [](const std::string& path) { ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0); }, true, false,
         refused + "на его месте не обычный файл"},
    };
    for (const Target& target : targets) {
        SCOPED_TRACE(target.what);
        WriteFile(outside, "outside");
        if (target.make) { // a scratch path of the test's own
            fs::remove(target.path);
            target.make(target.path);
        }
        const fs::file_status status = fs::symlink_status(target.path);
        const std::string kept = fs::is_regular_file(status) ? ReadFile(target.path) : "";
        const std::map<std::string, std::string> otherBefore = Snapshot(folder(other));
        std::vector<std::string> args = {"export",    "--email", kEmail,
                                         "--no-open", "-o",      target.path};
        if (target.yes)
            args.push_back("--yes");
        const ProcessResult run = cli.run(args);
        EXPECT_EQ(run.status, target.replaced ? 0 : 1) << run.err;
        EXPECT_NE(run.err.find(target.says), std::string::npos) << run.err;
        const fs::file_status after = fs::symlink_status(target.path);
        if (target.replaced) {
            EXPECT_EQ(ReadFile(target.path), ReadFile(folder() + "Certificate.p12"));
            EXPECT_EQ(test::FileMode(target.path), 0600);
        } else if (fs::is_regular_file(status)) {
            EXPECT_EQ(ReadFile(target.path), kept);
        } else {
            EXPECT_EQ(after.type(), status.type()); // still missing, a link or a pipe
        }
        EXPECT_EQ(ReadFile(outside), "outside");
        EXPECT_EQ(Snapshot(folder(other)), otherBefore);
    }
    // At a terminal the question is asked; Enter keeps the file.
    const std::string copy = cli.home / "copy.p12";
    for (const auto& [answer, replaced] : {std::pair{"\r", false}, std::pair{"y\r", true}}) {
        SCOPED_TRACE(answer);
        WriteFile(copy, "older");
        test::TerminalProgram terminal =
            cli.startAtTerminal({"export", "--email", kEmail, "--no-open", "-o", copy});
        ASSERT_TRUE(terminal.waitForOutput("Заменить его копией Certificate.p12?"))
            << terminal.output();
        ASSERT_TRUE(terminal.waitForOutput("] ")) << terminal.output();
        terminal.type(answer);
        EXPECT_EQ(terminal.wait(), replaced ? 0 : 1) << terminal.output();
        EXPECT_EQ(ReadFile(copy) != "older", replaced);
    }
    EXPECT_EQ(cli.run({"check", "--email", kEmail}).status, 0);
    EXPECT_EQ(cli.run({"check", "--email", other}).status, 0);
}

class CliGostFolderSafetyTest : public test::CliSandboxTest {
protected:
    void SetUp() override {
        CliSandboxTest::SetUp();
        cli.writeServiceSettings(*server,
                                 {{"UrlRequestGostCertificate", server->url("/gost/requp/")},
                                  {"UrlReceiveGostCertificate", server->url("/gost/certget/")}});
        cli.baseEnvironment = {"CERTQUORIX_CONTAINER_PASSWORD=pw", "CERTQUORIX_PASSWORD=export-pw"};
    }
    std::string folder() const { return cli.folder(kEmail); }
    test::TempDir elsewhere;
    size_t containerCount() const {
        const std::string containers = cli.home / "CertQuorix/containers";
        return fs::exists(containers)
                   ? static_cast<size_t>(std::distance(fs::directory_iterator(containers), {}))
                   : 0;
    }
};

// The GOST import (certificate, act, record) and export (Certificate.p12) with a link or a pipe
// at the name of a file they write: refused before a container is made, naming the file;
// nothing outside the folder is written.
TEST_F(CliGostFolderSafetyTest, ImportAndExportWriteNoFileThroughALink) {
    ProcessResult run = cli.run({"request", "--gost", "--email", kEmail, "--country", "RU",
                                 "--state", "Moscow region", "--locality", "Moscow",
                                 "--organization", "Firm Ltd", "--common-name", "Ivan Petrov"});
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    server->issue(kEmail);
    ASSERT_EQ(cli.run({"download", "--email", kEmail}).status, 0);
    ASSERT_EQ(cli.run({"export", "--email", kEmail, "--no-open"}).status, 0);
    const std::string p12 = cli.home / "exported.p12";
    fs::copy_file(folder() + "Certificate.p12", p12);
    fs::remove(folder() + "Certificate.p12");
    const std::map<std::string, std::string> before = Snapshot(folder());
    const size_t containers = containerCount();
    const std::vector<Writer> writers = {
        {"Certificate.cer", {"import", "--email", kEmail, p12, "--yes"}},
        {std::string(kEmail) + ".rtf", {"import", "--email", kEmail, p12, "--yes"}},
        {"Request.ini", {"import", "--email", kEmail, p12, "--yes"}},
        {"Certificate.p12", {"export", "--email", kEmail, "--no-open"}},
    };
    ExpectEveryWriterRefusesEveryOddity(cli, folder(), elsewhere, before, writers,
                                        [&] { EXPECT_EQ(containerCount(), containers); });
    EXPECT_EQ(cli.run({"check", "--email", kEmail}).status, 0);
}

} // namespace
} // namespace cq
