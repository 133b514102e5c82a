// certquorix-cli at a real (pseudo-)terminal: what a user at a console sees and is left with.
#include "CliFixture.h"

#include <gtest/gtest.h>

#include <csignal>

namespace {

using cq::test::TerminalProgram;

class CliTerminal : public ::testing::Test {
protected:
    cq::test::TempDir dir;
    cq::test::CliProgram program{dir.path()};
};

// Interrupted at the password prompt, the tool gives the terminal back as it found it (echo on)
// and still ends the way the signal ends a program, so shells and scripts see the interruption.
TEST_F(CliTerminal, PasswordPromptInterruptedLeavesTheTerminalAsItWas) {
    struct Case {
        const char* what;
        int signal;
    };
    for (const Case& c : {Case{"Ctrl+C", SIGINT}, Case{"SIGTERM", SIGTERM}, Case{"SIGHUP", SIGHUP},
                          Case{"Ctrl+\\", SIGQUIT}}) {
        SCOPED_TRACE(c.what);
        TerminalProgram cli = program.startAtTerminal({"request", "--email", "a@b.ru"});
        ASSERT_TRUE(cli.waitForOutput("Пароль ключа: ")) << cli.output();
        ASSERT_TRUE(cli.waitForEchoOff()) << "the prompt never turned echo off";
        if (c.signal == SIGINT)
            cli.type("\x03");
        else if (c.signal == SIGQUIT)
            cli.type("\x1c");
        else
            cli.signal(c.signal);
        EXPECT_EQ(cli.wait(), 128 + c.signal) << cli.output();
        EXPECT_EQ(cli.settings().c_lflag, cli.initialSettings().c_lflag);
        EXPECT_TRUE(cli.settings().c_lflag & ECHO);
    }
}

} // namespace
