#include "cli/Options.h"

#include "base/Translate.h"
#include "cli/OptionTable.h"

#include <algorithm>
#include <map>

namespace cq::cli {
namespace {

/// What one command accepts besides the options every command takes, read from the table.
struct CommandGrammar {
    std::vector<std::string> valued; ///< options followed by a value
    std::vector<std::string> flags;  ///< options standing alone
    size_t positionals = 0;          ///< arguments that are no option
    bool json = false;               ///< whether --json is offered
};

CommandGrammar GrammarOf(const CommandSpec& command) {
    CommandGrammar grammar;
    grammar.positionals = command.positional.empty() ? 0 : 1;
    for (const OptionSpec* option : OptionsOf(command.name)) {
        if (option->name == "--json")
            grammar.json = true;
        else if (IsCommonOption(*option))
            continue; // taken for every command
        else if (option->value.empty())
            grammar.flags.push_back(option->name);
        else
            grammar.valued.push_back(option->name);
    }
    return grammar;
}

const std::map<std::string, CommandGrammar>& Grammars() {
    static const std::map<std::string, CommandGrammar> grammars = [] {
        std::map<std::string, CommandGrammar> table;
        for (const CommandSpec& command : CommandSpecs())
            table.emplace(command.name, GrammarOf(command));
        return table;
    }();
    return grammars;
}

bool Contains(const std::vector<std::string>& list, const std::string& item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

/// The long name of a short option ("-o" gives "--output"); anything else as it is.
std::string LongForm(const std::string& arg) {
    if (arg.size() != 2 || arg.front() != '-')
        return arg;
    const OptionSpec* option = FindOption(arg);
    return option ? option->name : arg;
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
        throw UsageError{Tr("Пароль не передаётся в командной строке: используйте --password-file, "
                            "переменную CERTQUORIX_PASSWORD или ввод с терминала.")};
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
            throw UsageError{TrFormat("Параметру %1 нужно значение.", {name})};
        line.arguments.push_back(name);
        line.arguments.push_back(inlineValue ? arg.substr(equals + 1) : args[++i]);
        return;
    }
    const bool known = Contains(grammar.flags, name) ||
                       (name != "--json" && TakeCommonOption(name, line)) ||
                       (name == "--json" && grammar.json && TakeCommonOption(name, line));
    if (!known)
        throw UsageError{TrFormat("Неизвестный параметр: %1", {name})};
    if (inlineValue)
        throw UsageError{TrFormat("Параметр %1 не принимает значения.", {name})};
    if (Contains(grammar.flags, name))
        line.arguments.push_back(name);
}

void CheckPositionals(const Arguments& positionals, const CommandGrammar& grammar,
                      const std::string& command);

/// The arguments after the command, from all[i] on. "--" ends the options: what follows is
/// positional even when it begins with "-".
void TakeCommandArguments(const Arguments& all, size_t i, const CommandGrammar& grammar,
                          CommandLine& line) {
    Arguments positionals;
    bool optionsEnded = false;
    for (; i < all.size(); ++i) {
        if (!optionsEnded && all[i] == "--")
            optionsEnded = true;
        else if (!optionsEnded && LooksLikeOption(all[i]))
            TakeOption(all, i, grammar, line);
        else
            positionals.push_back(all[i]);
    }
    if (line.json && !grammar.json)
        throw UsageError{TrFormat("Неизвестный параметр: %1", {"--json"})};
    // The commands read these two themselves.
    if (line.yes)
        line.arguments.push_back("--yes");
    if (line.json)
        line.arguments.push_back("--json");
    CheckPositionals(positionals, grammar, line.command);
    // The commands read their arguments again: a positional that looks like an option keeps
    // its "--" before it.
    if (std::any_of(positionals.begin(), positionals.end(), LooksLikeOption))
        line.arguments.push_back("--");
    line.arguments.insert(line.arguments.end(), positionals.begin(), positionals.end());
}

void CheckPositionals(const Arguments& positionals, const CommandGrammar& grammar,
                      const std::string& command) {
    if (positionals.size() > grammar.positionals)
        throw UsageError{TrFormat("Лишний аргумент команды %1: %2",
                                  {command, positionals[grammar.positionals]})};
    if (positionals.size() < grammar.positionals)
        throw UsageError{TrFormat("Команде %1 не хватает аргумента.", {command})};
}

} // namespace

CommandLine ParseCommandLine(const Arguments& all) {
    CommandLine line;
    size_t i = 0;
    // The options every command takes, before the command.
    for (; i < all.size() && LooksLikeOption(all[i]); ++i)
        if (!TakeCommonOption(LongForm(all[i]), line))
            throw UsageError{TrFormat("Неизвестный параметр: %1", {all[i]})};
    if (line.help && i == all.size())
        return line;
    if (i == all.size())
        throw UsageError{Tr("Не указана команда.")};
    line.command = all[i++];
    const auto grammar = Grammars().find(line.command);
    if (grammar == Grammars().end())
        throw UsageError{TrFormat("Неизвестная команда: %1", {line.command})};
    // Help answers whatever else the line holds (before a "--").
    const auto end = std::find(all.begin() + static_cast<long>(i), all.end(), "--");
    if (std::any_of(all.begin() + static_cast<long>(i), end,
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
