// The writers of a certificate folder's files and the folder's hold, met with what a careless
// user or another account may leave there: a link, a pipe, a file or a link where the folder
// belongs. Nothing is written outside the folder and the refusal names what is wrong.
#include "RequestChecks.h"
#include "TestSupport.h"
#include "base/Errors.h"
#include "base/FileUtil.h"
#include "certs/CertificateFolderLock.h"
#include "certs/PublicKeyAct.h"
#include "certs/RequestFolder.h"
#include "settings/CertFolders.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace cq {
namespace {

using test::ReadFile;
using test::WriteFile;
namespace fs = std::filesystem;

constexpr const char* kEmail = "ivan.petrov@mail.example";

class CertificateFolderSafetyTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::UseProgramFolder(program.path());
        test::InstallActTemplates(program.path());
    }
    std::string folder() const { return program.path() + kEmail + "/"; }
    test::TempDir program;
    test::TempDir elsewhere;
};

// Each writer of the folder's files, with a link or a pipe at the file's name: it raises naming
// the file, the name keeps what stood there and the file a link points to keeps its bytes (a
// link that leads nowhere makes nothing appear).
TEST_F(CertificateFolderSafetyTest, WritersOfTheFolderRefuseLinksAndOddFiles) {
    struct Writer {
        std::string file;
        std::function<void()> write;
    };
    PublicKeyActValues act;
    act.Subject = test::SampleSubject(kEmail).subject();
    const std::vector<Writer> writers = {
        {kRequestJournalFile,
         [&] {
             RequestFolder().Begin(folder());
         }},
        {"Certificate.key",
         [&] {
             PrepareKeyFile(folder() + "Certificate.key", "encrypted key").Commit();
         }},
        {"Request.ini",
         [&] {
             WriteRsaRequestRecord(folder() + "Request.ini", test::SampleSubject(kEmail));
         }},
        {std::string(kEmail) + ".rtf",
         [&] {
             MakePublicKeyAct(folder(), kRsaActTemplate, act);
         }},
    };
    const std::string outside = elsewhere / "outside";
    struct Oddity {
        const char* what;
        std::function<void(const std::string& path)> make;
        fs::file_type stays;
    };
    const std::vector<Oddity> oddities = {
        {"a link to a file outside",
         [&](const std::string& path) {
             WriteFile(outside, "outside");
             fs::create_symlink(outside, path);
         },
         fs::file_type::symlink},
        {"a link that leads nowhere",
         [&](const std::string& path) { fs::create_symlink(elsewhere / "nowhere", path); },
         fs::file_type::symlink},
        {"a pipe", [](const std::string& path) { ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0); },
         fs::file_type::fifo},
    };
    for (const Writer& writer : writers) {
        for (const Oddity& oddity : oddities) {
            SCOPED_TRACE(writer.file + " as " + oddity.what);
            CreateCertificateFolder(folder());
            const std::string path = folder() + writer.file;
            oddity.make(path);
            try {
                writer.write();
                ADD_FAILURE() << "written";
            } catch (const EOSError& error) {
                // Refused as a file that is not written, or (the record, read first) not read.
                EXPECT_NE(error.message().find(path), std::string::npos) << error.message();
            }
            EXPECT_EQ(fs::symlink_status(path).type(), oddity.stays);
            EXPECT_FALSE(fs::exists(elsewhere / "nowhere"));
            if (fs::exists(outside)) {
                EXPECT_EQ(ReadFile(outside), "outside");
            }
            fs::remove_all(folder());
            fs::remove(outside);
        }
    }
}

// A link that leads nowhere or a file where the folder belongs: an operation that would make
// the folder and one that only looks into it both refuse, naming the folder and the problem,
// and nothing is made where the link points.
TEST_F(CertificateFolderSafetyTest, TheFolderHoldRefusesALinkOrAFileInTheFolderPlace) {
    const std::string path = ExcludeTrailingPathDelimiter(folder());
    struct State {
        const char* what;
        std::function<void()> make;
        const char* problem;
    };
    const std::vector<State> states = {
        {"a link that leads nowhere",
         [&] { fs::create_directory_symlink(elsewhere / "gone", path); }, "является ссылкой"},
        {"a file", [&] { WriteFile(path, "not a folder"); }, "не является папкой"},
    };
    for (const State& state : states) {
        for (const auto missing :
             {CertificateFolderLock::Missing::Create, CertificateFolderLock::Missing::Leave}) {
            SCOPED_TRACE(std::string(state.what) +
                         (missing == CertificateFolderLock::Missing::Create ? ", create" : ""));
            state.make();
            try {
                const CertificateFolderLock held(kEmail, missing);
                ADD_FAILURE() << "held";
            } catch (const EOSError& error) {
                EXPECT_EQ(error.message(), "Папка сертификата " + path + " " + state.problem +
                                               "; программа не читает и не записывает файлы в "
                                               "ней.");
            }
            EXPECT_FALSE(fs::exists(elsewhere / "gone"));
            fs::remove(path);
        }
    }
}

} // namespace
} // namespace cq
