// The command line as certquorix-cli reads it: "--" ends the options.
#include "cli/Options.h"

#include <gtest/gtest.h>

namespace {

using cq::cli::Arguments;
using cq::cli::ParseCommandLine;

TEST(CliOptions, DoubleDashEndsTheOptions) {
    struct Case {
        Arguments line;
        Arguments arguments; // what the command gets
        bool help;
    };
    const Case cases[] = {
        {{"list", "--"}, {}, false},
        {{"get", "--", "--help"}, {"--", "--help"}, false},
        {{"get", "--", "https://x/"}, {"https://x/"}, false},
        {{"import", "--email", "a@b.ru", "--", "-file.p12"},
         {"--email", "a@b.ru", "--", "-file.p12"},
         false},
        {{"import", "-o", "--help"}, {}, true}, // before "--" help still answers
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.line));
        const cq::cli::CommandLine line = ParseCommandLine(c.line);
        EXPECT_EQ(line.help, c.help);
        if (!c.help) {
            EXPECT_EQ(line.arguments, c.arguments);
        }
    }
    EXPECT_THROW(ParseCommandLine({"get", "--", "a", "b"}), cq::cli::UsageError);
    EXPECT_THROW(ParseCommandLine({"list", "--", "x"}), cq::cli::UsageError);
}

} // namespace
