#pragma once
// Starting a helper program (the openssl tool) with an argument vector, never through a shell.

#include <string>
#include <vector>

namespace sandbox {

struct ToolResult {
    int status = -1;    // exit status; 128 + signal when killed; -1 when it could not start
    std::string output; // standard output and standard error together
};

ToolResult RunTool(const std::vector<std::string>& argv);

} // namespace sandbox
