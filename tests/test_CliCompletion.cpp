// The bash completion of certquorix-cli, run under bash: commands, a command's options, and after
// --email the addresses of the e-mail list of the settings file next to the program.
#include "CliFixture.h"

#include <gtest/gtest.h>

namespace {

using namespace cq::test;

TEST(CliCompletion, CompletesCommandsOptionsAndListedAddresses) {
    TempDir dir;
    const CliProgram cli(dir.path());
    WriteFile(dir / "CertQuorix.ini",
              "[Email]\r\nList=anna@example.ru|alex@example.ru|boris@example.ru\r\n");
    struct Case {
        std::string words; // the words after the program; the last is completed
        std::string expected;
    };
    const Case cases[] = {
        {"d", "download doctor"},
        {"",
         "version settings get request renew download check status export import list providers "
         "doctor forget notify report --help --version"},
        {"check --", "--email --password-file --json --quiet --verbose --help"},
        {"status --p", "--password-file"},
        {"export --n", "--no-open --nss --nss-db"},
        {"download --email a", "anna@example.ru alex@example.ru"},
        {"check --email ", "anna@example.ru alex@example.ru boris@example.ru"},
        {"list --", "--json --warn-days --quiet --verbose --help"},
        {"report --", "--all-users --warn-days --json --quiet --verbose --help"},
        {"list --warn-days 1", "14"},
        {"settings --", "--quiet --verbose --help"},
        {"download --email=a", "--email=anna@example.ru --email=alex@example.ru"},
        {"request --key-bits 2", "2048"},
        {"doctor --", "--offline --json --quiet --verbose --help"},
    };
    for (const Case& c : cases) {
        const std::string script =
            "source '" CQ_SOURCE_DIR "/resources/completion/certquorix-cli'\n"
            "complete -p certquorix-cli >/dev/null || exit 3\n"
            "read -ra COMP_WORDS <<<\"$1\"\n"
            "[[ $1 == *' ' || -z $1 ]] && COMP_WORDS+=('')\n"
            "COMP_WORDS=(\"$2\" \"${COMP_WORDS[@]}\")\n"
            "COMP_CWORD=$((${#COMP_WORDS[@]} - 1))\n"
            "_certquorix_cli\n"
            "echo \"${COMPREPLY[*]}\"\n";
        const ProcessResult run =
            RunProcess({"/bin/bash", "-c", script, "bash", c.words, cli.program()},
                       {"XDG_DATA_HOME=" + cli.home.path()});
        EXPECT_EQ(run.status, 0) << c.words << run.err;
        EXPECT_EQ(run.out, c.expected + "\n") << c.words;
    }
}

} // namespace
