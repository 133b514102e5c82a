#include "cli/Options.h"

#include <algorithm>
#include <map>

namespace cq::cli {
namespace {

/// What one command accepts besides the options every command takes.
struct CommandGrammar {
    std::vector<std::string> valued; ///< options followed by a value
    std::vector<std::string> flags;  ///< options standing alone
    size_t positionals = 0;          ///< arguments that are no option
    bool json = false;               ///< whether --json is offered
};

const std::map<std::string, CommandGrammar>& Grammars() {
    static const std::map<std::string, CommandGrammar> grammars = {
        {"version", {{}, {}, 0, true}},
        {"settings", {}},
        {"get", {{}, {}, 1, false}},
        {"request",
         {{"--email", "--country", "--state", "--locality", "--organization", "--unit",
           "--common-name", "--password-file", "--provider", "--key-bits"},
          {"--open-password", "--gost"},
          0,
          true}},
        {"download", {{"--email"}, {}, 0, true}},
        {"check", {{"--email", "--password-file"}, {}, 0, true}},
        {"status", {{"--email", "--password-file"}, {}, 0, true}},
        {"export",
         {{"--email", "--password-file", "-o", "--output", "--nss-db", "--cipher"},
          {"--no-open", "--legacy", "--nss"},
          0,
          false}},
        {"import", {{"--email", "--password-file"}, {}, 1, false}},
        {"list", {{}, {}, 0, true}},
        {"doctor", {{}, {}, 0, true}},
        {"forget", {{"--email"}, {"--delete-folder"}, 0, false}},
        {"providers", {{}, {}, 0, true}},
    };
    return grammars;
}

bool Contains(const std::vector<std::string>& list, const std::string& item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

std::string LongForm(const std::string& arg) {
    static const std::map<std::string, std::string> shortForms = {
        {"-y", "--yes"}, {"-q", "--quiet"}, {"-v", "--verbose"}, {"-h", "--help"}};
    const auto found = shortForms.find(arg);
    return found == shortForms.end() ? arg : found->second;
}

/// Sets the option every command takes that `arg` names; false when it names none.
bool TakeCommonOption(const std::string& arg, CommandLine& line) {
    bool* target = arg == "--yes"       ? &line.yes
                   : arg == "--quiet"   ? &line.quiet
                   : arg == "--verbose" ? &line.verbose
                   : arg == "--help"    ? &line.help
                   : arg == "--json"    ? &line.json
                                        : nullptr;
    if (target)
        *target = true;
    return target != nullptr;
}

bool LooksLikeOption(const std::string& arg) {
    return arg.size() > 1 && arg.front() == '-';
}

void RefusePasswordOnCommandLine(const std::string& name) {
    if (name == "--password")
        throw UsageError{"Пароль не передаётся в командной строке: используйте --password-file, "
                         "переменную CERTQUORIX_PASSWORD или ввод с терминала."};
}

/// Reads one option at args[i] (advancing i past its value) into line.arguments.
void TakeOption(const Arguments& args, size_t& i, const CommandGrammar& grammar,
                CommandLine& line) {
    const std::string arg = LongForm(args[i]);
    const size_t equals = arg.find('=');
    const std::string name = arg.starts_with("--") ? arg.substr(0, equals) : arg;
    const bool inlineValue = arg.starts_with("--") && equals != std::string::npos;
    RefusePasswordOnCommandLine(name);
    if (Contains(grammar.valued, name)) {
        if (!inlineValue && i + 1 >= args.size())
            throw UsageError{"Параметру " + name + " нужно значение."};
        line.arguments.push_back(name);
        line.arguments.push_back(inlineValue ? arg.substr(equals + 1) : args[++i]);
        return;
    }
    const bool known = Contains(grammar.flags, name) ||
                       (name != "--json" && TakeCommonOption(name, line)) ||
                       (name == "--json" && grammar.json && TakeCommonOption(name, line));
    if (!known)
        throw UsageError{"Неизвестный параметр: " + name};
    if (inlineValue)
        throw UsageError{"Параметр " + name + " не принимает значения."};
    if (Contains(grammar.flags, name))
        line.arguments.push_back(name);
}

void CheckPositionals(const Arguments& positionals, const CommandGrammar& grammar,
                      const std::string& command);

/// The arguments after the command, from all[i] on.
void TakeCommandArguments(const Arguments& all, size_t i, const CommandGrammar& grammar,
                          CommandLine& line) {
    Arguments positionals;
    for (; i < all.size(); ++i) {
        if (LooksLikeOption(all[i]))
            TakeOption(all, i, grammar, line);
        else
            positionals.push_back(all[i]);
    }
    if (line.json && !grammar.json)
        throw UsageError{"Неизвестный параметр: --json"};
    // The commands read these two themselves.
    if (line.yes)
        line.arguments.push_back("--yes");
    if (line.json)
        line.arguments.push_back("--json");
    CheckPositionals(positionals, grammar, line.command);
    line.arguments.insert(line.arguments.end(), positionals.begin(), positionals.end());
}

void CheckPositionals(const Arguments& positionals, const CommandGrammar& grammar,
                      const std::string& command) {
    if (positionals.size() > grammar.positionals)
        throw UsageError{"Лишний аргумент команды " + command + ": " +
                         positionals[grammar.positionals]};
    if (positionals.size() < grammar.positionals)
        throw UsageError{"Команде " + command + " не хватает аргумента."};
}

} // namespace

CommandLine ParseCommandLine(const Arguments& all) {
    CommandLine line;
    size_t i = 0;
    // The options every command takes, before the command.
    for (; i < all.size() && LooksLikeOption(all[i]); ++i)
        if (!TakeCommonOption(LongForm(all[i]), line))
            throw UsageError{"Неизвестный параметр: " + all[i]};
    if (line.help && i == all.size())
        return line;
    if (i == all.size())
        throw UsageError{"Не указана команда."};
    line.command = all[i++];
    const auto grammar = Grammars().find(line.command);
    if (grammar == Grammars().end())
        throw UsageError{"Неизвестная команда: " + line.command};
    // Help answers whatever else the line holds.
    if (std::any_of(all.begin() + static_cast<long>(i), all.end(),
                    [](const std::string& arg) { return LongForm(arg) == "--help"; })) {
        line.help = true;
        return line;
    }
    try {
        TakeCommandArguments(all, i, grammar->second, line);
    } catch (UsageError& error) {
        error.command = line.command;
        throw;
    }
    return line;
}

} // namespace cq::cli
