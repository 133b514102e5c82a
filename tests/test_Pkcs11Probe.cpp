// The trial of a PKCS#11 module in a process of its own before the program loads it: the
// verdict, and that it is remembered for the module file as it is and asked again once the file
// changes, within a process and from one run of the tool to the next.
#include "CliFixture.h"
#include "TestSupport.h"
#include "TestTokenFolder.h"
#include "base/StringUtil.h"
#include "provider/Pkcs11Probe.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace cq {
namespace {

std::string BrokenModule(const std::string& fault) {
    return std::string(CQ_BROKEN_MODULE_DIR) + "/libcq_broken_" + fault + ".so";
}

/// How many times the broken modules were loaded, in any process.
size_t Loads(const std::string& mark) {
    return std::filesystem::exists(mark) ? Split(test::ReadFile(mark), "\n").size() - 1 : 0;
}

class Pkcs11ProbeTest : public ::testing::Test {
protected:
    void SetUp() override {
        provider::SetPkcs11ProbeProgram(test::BuiltProgram(provider::kPkcs11ProbeProgramName));
        ::setenv("XDG_DATA_HOME", dir.path().c_str(), 1);
        ::setenv("CQ_BROKEN_MODULE_MARK", mark().c_str(), 1);
        // In a sanitizer build the probe would end a broken module's crash with the sanitizer's
        // report; it must die of the signal, as it does in a user's build.
        ::setenv("ASAN_OPTIONS", "handle_segv=0:handle_abort=0", 1);
    }
    void TearDown() override {
        provider::SetPkcs11ProbeProgram("");
        ::unsetenv("XDG_DATA_HOME");
        ::unsetenv("CQ_BROKEN_MODULE_MARK");
        ::unsetenv("ASAN_OPTIONS");
    }
    std::string mark() const { return dir / "loads.txt"; }
    /// Puts a copy of the module at `path` (a new file each time).
    static void Place(const std::string& module, const std::string& path) {
        std::filesystem::remove(path);
        std::filesystem::copy_file(module, path);
    }

    test::TempDir dir;
};

TEST_F(Pkcs11ProbeTest, VerdictHoldsUntilTheModuleFileChanges) {
    const std::string module = dir / "module.so";
    Place(BrokenModule("segv"), module);
    EXPECT_NE(provider::VetPkcs11Module(module).find("завершился аварийно (SIGSEGV)"),
              std::string::npos);
    EXPECT_EQ(Loads(mark()), 1u);
    EXPECT_NE(provider::VetPkcs11Module(module).find("SIGSEGV"), std::string::npos);
    EXPECT_EQ(Loads(mark()), 1u) << "the module is not tried again";

    Place(BrokenModule("abort"), module);
    EXPECT_NE(provider::VetPkcs11Module(module).find("SIGABRT"), std::string::npos);
    Place(test::TestTokenModule(), module);
    EXPECT_EQ(provider::VetPkcs11Module(module), "");
    EXPECT_EQ(Loads(mark()), 2u);
}

TEST_F(Pkcs11ProbeTest, SoundAndCleanlyRefusingModulesPass) {
    // A module that refuses in words does no harm: the program meets the same words itself.
    for (const std::string& module :
         {std::string(test::TestTokenModule()), BrokenModule("nulltokeninfo"),
          BrokenModule("hugeslots"), dir / "missing.so"})
        EXPECT_EQ(provider::VetPkcs11Module(module), "") << module;
}

TEST_F(Pkcs11ProbeTest, WithoutTheProbeProgramNoModuleIsLoaded) {
    const std::string module = dir / "token.so";
    Place(test::TestTokenModule(), module);
    provider::SetPkcs11ProbeProgram(dir / "missing-probe");
    EXPECT_NE(provider::VetPkcs11Module(module).find("не найдена программа проверки модулей"),
              std::string::npos);
    EXPECT_THROW(provider::VettedPkcs11Module(module), std::exception);
}

TEST_F(Pkcs11ProbeTest, TheToolRemembersTheVerdictFromOneRunToTheNext) {
    test::CliProgram cli{dir.path()};
    const std::vector<std::string> environment = {
        "CERTQUORIX_PKCS11_MODULE=" + BrokenModule("segv"), "CQ_BROKEN_MODULE_MARK=" + mark()};
    for (int run = 0; run < 2; ++run) {
        const test::ProcessResult result = cli.run({"providers"}, environment);
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_NE(result.err.find("SIGSEGV"), std::string::npos) << result.err;
    }
    EXPECT_EQ(Loads(mark()), 1u) << "only the first run tried the module";
}

} // namespace
} // namespace cq
