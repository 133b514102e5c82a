#pragma once
// Every command of certquorix-cli and every option it takes, declared once as data. The parser,
// --help, and (through the drift test) the bash completion, the manual page and docs/USAGE.md
// all follow this table.

#include <string>
#include <vector>

namespace cq::cli {

/// What a value of an option is, for the completion.
enum class ValueKind {
    None,    ///< a flag: no value
    Text,    ///< free text
    Address, ///< an e-mail address of the list
    File,    ///< a path to a file ("-" for standard input or output where the help says so)
    Folder,  ///< a path to a folder
    Number,  ///< one of the numbers the help names
    Choice,  ///< one of the words the help names
};

/// One option.
struct OptionSpec {
    std::string name;      ///< "--email"
    std::string shortName; ///< "-o", or empty
    std::string value;     ///< the value's name in the usage ("АДРЕС"), empty for a flag
    ValueKind kind;
    std::string help; ///< one line, in Russian
    std::vector<std::string> commands;
    bool required = false; ///< every command that takes it needs it
};

/// One command.
struct CommandSpec {
    std::string name;
    std::string summary;    ///< one line for the tool's usage
    std::string positional; ///< the name of its one positional argument, or empty
    std::string description;
    bool readsOnly = false; ///< writes nothing of the user's: runs without a writable data folder
};

/// The commands in the order the usage lists them.
const std::vector<CommandSpec>& CommandSpecs();

/// The options of the commands. The options every command takes (-y/--yes, -q/--quiet,
/// -v/--verbose, -h/--help) are among them with an empty command list, and --yes also lists
/// the commands whose questions it answers.
const std::vector<OptionSpec>& OptionSpecs();

/// The options every command takes.
bool IsCommonOption(const OptionSpec& option);

/// The command of that name, or nullptr.
const CommandSpec* FindCommand(const std::string& name);

/// The options `command` takes besides the common ones (and --yes where it is listed), in the
/// order of the table.
std::vector<const OptionSpec*> OptionsOf(const std::string& command);

/// The option named by its long or short name, or nullptr.
const OptionSpec* FindOption(const std::string& name);

} // namespace cq::cli
