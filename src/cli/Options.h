#pragma once
// The command line of certquorix-cli read against what each command accepts: "--opt=value" and
// "--opt value" alike, short forms (-y, -q, -v, -h), the options every command takes, and
// anything unknown refused by name.

#include "cli/Commands.h"

#include <optional>
#include <string>
#include <utility>

namespace cq::cli {

/// A command line the tool cannot run; the message names the offending argument.
struct UsageError {
    explicit UsageError(std::string text) : message(std::move(text)) {}
    std::string message;
    std::string command; ///< the command the line names, empty when it names none
};

/// A command line read: the command, its own arguments in the long form ("--opt", "value"
/// pairs, flags, "--yes" and "--json" when given, then positional arguments as given) and the
/// options every command takes.
struct CommandLine {
    std::string command;
    Arguments arguments;
    bool help = false;
    bool yes = false;
    bool quiet = false;
    bool verbose = false;
    bool json = false;
};

/// Reads the whole argument list (without the program name). The options every command takes
/// may stand before the command as well. Raises UsageError for an unknown command or option, an
/// option without its value, a flag given a value, or the wrong number of positional arguments.
/// With --help the rest is not checked.
CommandLine ParseCommandLine(const Arguments& all);

} // namespace cq::cli
