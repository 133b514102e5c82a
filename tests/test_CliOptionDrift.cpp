// The options of each command are declared once, in the tool's option table; the parser and
// --help are made from it, and the bash completion, the manual page and docs/USAGE.md are
// compared with it here, so an option added in one place only is caught.
#include "TestSupport.h"
#include "base/StringUtil.h"
#include "cli/Commands.h"
#include "cli/Failure.h"
#include "cli/JsonOutput.h"
#include "cli/OptionTable.h"
#include "cli/Options.h"
#include "cli/Usage.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <set>
#include <sstream>

namespace {

using cq::cli::OptionSpec;
using OptionSets = std::map<std::string, std::set<std::string>>;

std::string Source(const std::string& path) {
    return cq::test::ReadFile(std::string(CQ_SOURCE_DIR) + "/" + path);
}

/// The long names a text mentions ("-o" counts as the option it is short for).
std::set<std::string> OptionsIn(const std::string& text) {
    std::set<std::string> names;
    static const std::regex option(R"((^|[^A-Za-z0-9-])(--[a-z][a-z-]*|-[a-z])(?![a-z-]))");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), option);
         it != std::sregex_iterator(); ++it) {
        const OptionSpec* spec = cq::cli::FindOption((*it)[2]);
        names.insert(spec ? spec->name : (*it)[2].str());
    }
    return names;
}

/// What the table says: each command's options besides --quiet, --verbose and --help.
OptionSets Declared() {
    OptionSets sets;
    for (const cq::cli::CommandSpec& command : cq::cli::CommandSpecs()) {
        std::set<std::string>& names = sets[command.name];
        for (const OptionSpec* option : cq::cli::OptionsOf(command.name))
            names.insert(option->name);
    }
    return sets;
}

/// `name) echo "options" ;;` lines of the completion's option function.
OptionSets FromCompletion(const std::string& script) {
    OptionSets sets;
    static const std::regex line(R"re(^\s*([a-z]+)\) echo "([^"]*)" ;;)re");
    std::istringstream lines(script);
    for (std::string text; std::getline(lines, text);) {
        std::smatch match;
        if (std::regex_search(text, match, line))
            sets[match[1]] = OptionsIn(match[2]);
    }
    return sets;
}

/// A manual page and the title of its section of commands, in the page's language.
struct ManualPage {
    std::string path;
    std::string commandsTitle;
};

const std::vector<ManualPage>& ManualPages() {
    static const std::vector<ManualPage> pages = {
        {"docs/man/certquorix-cli.1", "COMMANDS"},
        {"docs/man/ru/certquorix-cli.1", "КОМАНДЫ"},
    };
    return pages;
}

/// The heading of each command in the manual page's section of commands.
OptionSets FromManual(const std::string& page, const std::string& commandsTitle) {
    OptionSets sets;
    // Without the hyphen escapes and the font changes ("\fB", "\fR", ...).
    static const std::regex font(R"(\\f[BIRP])");
    const std::string unescaped = std::regex_replace(cq::ReplaceText(page, "\\-", "-"), font, " ");
    const size_t start = unescaped.find(".SH " + commandsTitle + "\n");
    if (start == std::string::npos)
        return {};
    const size_t end = unescaped.find(".SH ", start + 1);
    std::istringstream lines(unescaped.substr(start, end - start));
    bool heading = false;
    for (std::string text; std::getline(lines, text);) {
        if (heading) {
            std::istringstream words(cq::ReplaceText(text, "\"", " "));
            std::string macro, command;
            words >> macro >> command;
            sets[command] = OptionsIn(text);
        }
        heading = text == ".TP";
    }
    return sets;
}

/// The first cell of each row of docs/USAGE.md's command table; rows of one command unite.
OptionSets FromUsageDocument(const std::string& document) {
    OptionSets sets;
    std::istringstream lines(document.substr(0, document.find("## Exit statuses")));
    for (std::string text; std::getline(lines, text);) {
        if (!text.starts_with("| `"))
            continue;
        const std::string cell = text.substr(3, text.find('`', 3) - 3);
        const std::string command = cell.substr(0, cell.find(' '));
        const std::set<std::string> names = OptionsIn(cell);
        sets[command].insert(names.begin(), names.end());
    }
    return sets;
}

/// What differs between the table and a place, one line each.
std::vector<std::string> Drift(const std::string& place, const OptionSets& found) {
    std::vector<std::string> problems;
    const OptionSets declared = Declared();
    for (const auto& [command, names] : declared) {
        const auto it = found.find(command);
        if (it == found.end()) {
            problems.push_back(place + ": no command " + command);
            continue;
        }
        for (const std::string& name : names)
            if (!it->second.count(name))
                problems.push_back(place + ": " + command + " lacks " + name);
        for (const std::string& name : it->second)
            if (!names.count(name))
                problems.push_back(place + ": " + command + " has undeclared " + name);
    }
    for (const auto& [command, names] : found)
        if (!declared.count(command))
            problems.push_back(place + ": undeclared command " + command);
    return problems;
}

std::vector<std::string> AllDrift(const std::string& completion, const std::string& manual,
                                  const std::string& usage) {
    std::vector<std::string> problems = Drift("completion", FromCompletion(completion));
    for (const std::string& problem :
         Drift("manual", FromManual(manual, ManualPages().front().commandsTitle)))
        problems.push_back(problem);
    for (const std::string& problem : Drift("USAGE.md", FromUsageDocument(usage)))
        problems.push_back(problem);
    return problems;
}

const std::string kCompletion = "resources/completion/certquorix-cli";
const std::string kManual = ManualPages().front().path;
const std::string kUsage = "docs/USAGE.md";

TEST(CliOptionDrift, CompletionManualAndUsageAgreeWithTheTable) {
    for (const std::string& problem :
         AllDrift(Source(kCompletion), Source(kManual), Source(kUsage)))
        ADD_FAILURE() << problem;
}

// Each language's manual page names every command and option of the table, and no other.
TEST(CliOptionDrift, EveryManualPageAgreesWithTheTable) {
    for (const ManualPage& page : ManualPages())
        for (const std::string& problem :
             Drift(page.path, FromManual(Source(page.path), page.commandsTitle)))
            ADD_FAILURE() << problem;
}

// The parser takes every declared option of a command and --help names it.
TEST(CliOptionDrift, ParserAndHelpFollowTheTable) {
    for (const auto& [command, names] : Declared()) {
        const std::string help = cq::cli::CommandUsage(command);
        for (const std::string& name : names) {
            SCOPED_TRACE(command + " " + name);
            EXPECT_NE(help.find(name), std::string::npos);
            const OptionSpec& option = *cq::cli::FindOption(name);
            cq::cli::Arguments args = {command, name};
            if (!option.value.empty())
                args.push_back("value");
            for (const OptionSpec* other : cq::cli::OptionsOf(command))
                if (other->required && other->name != name) {
                    args.push_back(other->name);
                    if (!other->value.empty())
                        args.push_back("a@b.ru");
                }
            const std::string positional = cq::cli::FindCommand(command)->positional;
            if (!positional.empty())
                args.push_back("x");
            EXPECT_NO_THROW(cq::cli::ParseCommandLine(args));
        }
    }
    EXPECT_THROW(cq::cli::ParseCommandLine({"list", "--email", "a@b.ru"}), cq::cli::UsageError);
}

// A value the completion offers for each option that takes one, and none for a flag.
TEST(CliOptionDrift, CompletionKnowsWhichOptionsTakeAValue) {
    const std::string script = Source(kCompletion);
    const size_t start = script.find("_certquorix_cli_values() {");
    const std::string values = script.substr(start, script.find("\n}\n", start) - start);
    const std::set<std::string> named = OptionsIn(values);
    for (const OptionSpec& option : cq::cli::OptionSpecs())
        EXPECT_EQ(named.count(option.name) == 1, !option.value.empty()) << option.name;
}

// docs/USAGE.md and each manual page list every exit status the tool can end with, by its word.
TEST(CliOptionDrift, ExitStatusesAgreeWithTheFailureTable) {
    std::set<int> statuses = {cq::cli::kExitOk, cq::cli::kExitExpiring};
    for (const cq::cli::FailureRow& row : cq::cli::FailureTable())
        statuses.insert(row.status);
    const std::string usage = Source(kUsage);
    std::set<int> helped;
    for (const auto& [status, meaning] : cq::cli::ExitStatusTexts())
        helped.insert(status);
    EXPECT_EQ(helped, statuses);
    for (const int status : statuses) {
        const std::string word = cq::cli::ExitStatusWord(status);
        EXPECT_NE(usage.find("| " + std::to_string(status) + " | `" + word + "` |"),
                  std::string::npos)
            << status;
        for (const ManualPage& page : ManualPages()) {
            const std::string manual = cq::ReplaceText(Source(page.path), "\\-", "-");
            EXPECT_NE(manual.find(".B " + std::to_string(status) + "\n"), std::string::npos)
                << page.path << " " << status;
            EXPECT_NE(manual.find(".RB ( " + word + " )."), std::string::npos)
                << page.path << " " << word;
        }
    }
}

// The comparison itself: an option added to, or left out of, one place only is reported.
TEST(CliOptionDrift, OptionInOnePlaceOnlyIsReported) {
    const std::string completion = Source(kCompletion);
    const std::string manual = Source(kManual);
    const std::string usage = Source(kUsage);
    struct Case {
        const char* what;
        std::string completion, manual, usage;
        std::string expected;
    };
    const Case cases[] = {
        {"completion gains one",
         cq::ReplaceText(completion, R"(providers) echo "--json")",
                         R"(providers) echo "--json --all")"),
         manual, usage, "completion: providers has undeclared --all"},
        {"manual loses one", completion, cq::ReplaceText(manual, R"([\fB\-\-offline\fR] )", ""),
         usage, "manual: doctor lacks --offline"},
        {"usage loses one", completion, manual,
         cq::ReplaceText(usage, "`doctor [--offline] [--json]`", "`doctor [--json]`"),
         "USAGE.md: doctor lacks --offline"},
    };
    for (const Case& c : cases) {
        const std::vector<std::string> problems = AllDrift(c.completion, c.manual, c.usage);
        EXPECT_EQ(problems, std::vector<std::string>{c.expected}) << c.what;
    }
}

} // namespace
