// The process runner: input and output through pipes without deadlock, the environment a child
// gets, and a child that ends without reading its input.
#include "RetrievalFixture.h"
#include "base/Errors.h"
#include "base/SecretBytes.h"
#include "platform/Process.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

cq::ProcessOutcome Spawn(const std::vector<std::string>& arguments, cq::ProcessOptions options) {
    return cq::RunAndWait(arguments.front(), arguments, std::move(options));
}

TEST(Process, InputAndOutputLargerThanAPipeDoNotBlock) {
    cq::ProcessOptions options;
    options.standardInput = cq::SecretBytes(std::string(3 << 20, 'x') + "end");
    const cq::ProcessOutcome copy = Spawn({"cat"}, std::move(options));
    EXPECT_EQ(copy.exitStatus, 0);
    EXPECT_EQ(copy.output.size(), (3u << 20) + 3);
    EXPECT_EQ(copy.output.substr(copy.output.size() - 3), "end");
}

TEST(Process, AChildThatReadsNothingEndsTheRunNotThisProcess) {
    cq::ProcessOptions options;
    options.standardInput = cq::SecretBytes(std::string(1 << 20, 'x'));
    EXPECT_EQ(Spawn({"true"}, std::move(options)).exitStatus, 0);
}

TEST(Process, ErrorOutputSeparateOrTogether) {
    const std::vector<std::string> both = {"sh", "-c", "echo out; echo err >&2"};
    cq::ProcessOptions separate;
    separate.separateErrorOutput = true;
    const cq::ProcessOutcome apart = Spawn(both, std::move(separate));
    EXPECT_EQ(apart.output, "out\n");
    EXPECT_EQ(apart.errorOutput, "err\n");
    const cq::ProcessOutcome together = Spawn(both, {});
    EXPECT_EQ(together.output, "out\nerr\n");
    EXPECT_EQ(together.errorOutput, "");
}

TEST(Process, EnvironmentAddedReplacedAndRemoved) {
    ::setenv("CQ_PROCESS_TEST_KEEP", "kept", 1);
    ::setenv("CQ_PROCESS_TEST_GONE", "secret", 1);
    cq::ProcessOptions options;
    options.environment.push_back({"CQ_PROCESS_TEST_NEW", cq::SecretBytes(std::string("new"))});
    options.environment.push_back({"CQ_PROCESS_TEST_KEEP", cq::SecretBytes(std::string("other"))});
    options.removedVariables = {"CQ_PROCESS_TEST_GONE"};
    const cq::ProcessOutcome run =
        Spawn({"sh", "-c", "env | grep ^CQ_PROCESS_TEST_ | sort"}, std::move(options));
    EXPECT_EQ(run.output, "CQ_PROCESS_TEST_KEEP=other\nCQ_PROCESS_TEST_NEW=new\n");
    ::unsetenv("CQ_PROCESS_TEST_KEEP");
    ::unsetenv("CQ_PROCESS_TEST_GONE");
}

TEST(Process, MissingProgramAndSignalEnd) {
    EXPECT_THROW(Spawn({"/nonexistent/program"}, {}), cq::EOSError);
    EXPECT_EQ(Spawn({"sh", "-c", "kill -TERM $$"}, {}).exitStatus, 128 + 15);
}

using cq::test::ReadFile;
using cq::test::ScopedEnvironment;
using cq::test::TempDir;

bool Holds(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The user's password variables never reach a child through our own environment; a variable
// the caller hands over on purpose does, and so does everything else.
TEST(Process, ChildrenNeverInheritOurPasswordVariables) {
    const ScopedEnvironment user("CERTQUORIX_PASSWORD", "User Secret");
    const ScopedEnvironment key("CQ_KEY_PASSWORD", "inherited key");
    const ScopedEnvironment exportPassword("CQ_EXPORT_PASSWORD", "inherited export");
    const ScopedEnvironment pin("CERTQUORIX_TOKEN_PIN", "inherited pin");
    const ScopedEnvironment container("CERTQUORIX_CONTAINER_PASSWORD", "inherited container");
    const ScopedEnvironment unrelated("CQ_UNRELATED_SETTING", "kept");

    std::vector<cq::EnvironmentVariable> given;
    given.push_back({"CQ_KEY_PASSWORD", cq::SecretBytes("given key")});
    const std::string env = cq::RunAndWait("/usr/bin/env", {"env"}, std::move(given)).output;
    EXPECT_TRUE(Holds(env, "\nCQ_KEY_PASSWORD=given key\n")) << env;
    EXPECT_TRUE(Holds(env, "CQ_UNRELATED_SETTING=kept\n")) << env;
    for (const char* secret :
         {"CERTQUORIX_PASSWORD", "User Secret", "inherited", "CQ_EXPORT", "CONTAINER_PASSWORD"})
        EXPECT_FALSE(Holds(env, secret)) << secret;

    TempDir dir;
    const std::optional<int> status = cq::StartAndWaitBriefly(
        {"sh", "-c", "env >'" + dir.path() + "env'"}, std::chrono::seconds(30));
    EXPECT_EQ(status, 0);
    const std::string briefEnv = ReadFile(dir / "env");
    EXPECT_TRUE(Holds(briefEnv, "CQ_UNRELATED_SETTING=kept\n")) << briefEnv;
    for (const char* secret : {"CERTQUORIX_PASSWORD", "CQ_KEY_PASSWORD", "CQ_EXPORT_PASSWORD",
                               "CERTQUORIX_TOKEN_PIN", "CERTQUORIX_CONTAINER_PASSWORD"})
        EXPECT_FALSE(Holds(briefEnv, secret)) << secret;
}

} // namespace

namespace {

// A run whose output is read with a time limit: what it printed and its status, or nothing when
// it has not ended and closed its output at the limit.
struct BoundedRunCase {
    const char* name;
    std::string script;
    std::optional<std::pair<int, std::string>> outcome; ///< status and output
};

} // namespace

TEST(Process, OutputReadWithATimeLimit) {
    const std::vector<BoundedRunCase> cases = {
        {"ends", "echo out; echo err >&2; exit 3", std::pair(3, std::string("out\n"))},
        {"silent", "true", std::pair(0, std::string())},
        {"hangs after writing", "echo early; exec sleep 30", std::nullopt},
        {"closes its output and stays", "exec >&-; sleep 30", std::nullopt},
        {"leaves a child holding the output", "sleep 30 & echo started", std::nullopt},
    };
    for (const BoundedRunCase& run : cases) {
        SCOPED_TRACE(run.name);
        const bool ends = run.outcome.has_value();
        const std::optional<cq::ProcessOutcome> outcome = cq::ReadOutputWithTimeLimit(
            {"sh", "-c", run.script},
            ends ? std::chrono::milliseconds(30000) : std::chrono::milliseconds(300));
        ASSERT_EQ(outcome.has_value(), ends);
        if (ends) {
            EXPECT_EQ(outcome->exitStatus, run.outcome->first);
            EXPECT_EQ(outcome->output, run.outcome->second);
        }
    }
    EXPECT_THROW(cq::ReadOutputWithTimeLimit({"/nonexistent/program"}, std::chrono::seconds(1)),
                 cq::EOSError);
}
