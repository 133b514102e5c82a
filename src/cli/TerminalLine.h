#pragma once

#include <optional>
#include <string>

namespace cq::cli {

/// One line typed at the terminal on standard input, without its line end; nothing at the end
/// of input or once a stop was asked for (a termination signal), even when the signal came just
/// before the wait began or landed on another thread of the process.
std::optional<std::string> ReadTerminalLine();

} // namespace cq::cli
