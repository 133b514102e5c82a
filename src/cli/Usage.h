#pragma once
// The usage texts of certquorix-cli: the tool's own and one per command, printed by --help/-h.

#include <string>
#include <utility>
#include <vector>

namespace cq::cli {

/// The names of the commands, in the order the usage lists them.
const std::vector<std::string>& CommandNames();
/// The usage of the whole tool.
std::string ToolUsage();
/// The usage of one command; empty for a name that is no command.
std::string CommandUsage(const std::string& command);
/// Each exit status of the tool with its meaning, in the order the usage lists them.
const std::vector<std::pair<int, std::string>>& ExitStatusTexts();
/// True when the arguments ask for help ("--help" or "-h").
bool AsksForHelp(const std::vector<std::string>& args);

} // namespace cq::cli
