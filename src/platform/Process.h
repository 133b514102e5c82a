#pragma once
// Starting other programs: always with an argument vector, never through a shell. A child gets
// the environment of this process without our password variables (base/PasswordVariables.h);
// one that needs a password is handed it by name.

#include "base/SecretBytes.h"

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace cq {

/// One variable added to (or replacing one of) a child's environment. Its value is wiped after
/// the start, so it may carry a secret that must not appear on a command line.
struct EnvironmentVariable {
    std::string name;
    SecretBytes value;
};

struct ProcessOutcome {
    int exitStatus = -1;     ///< the exit status, or 128 + the signal number
    std::string output;      ///< what the program wrote to its standard output (and error)
    std::string errorOutput; ///< its standard error, when asked for separately
};

/// How RunAndWait feeds and reads a program.
struct ProcessOptions {
    std::vector<EnvironmentVariable> environment; ///< added to this process's environment
    std::vector<std::string> removedVariables;    ///< names left out of it
    SecretBytes standardInput;        ///< what the program reads (wiped afterwards); empty: nothing
    bool separateErrorOutput = false; ///< standard error into errorOutput
};

/// Starts `program` (a path) with `arguments` (argv[0] included) and the environment of this
/// process plus `environment`, waits for its end without a time limit and returns its status
/// and output; its standard input is empty. Raises EOSError ("System Error.  Code: %d.\r\n%s")
/// when the program cannot be started.
ProcessOutcome RunAndWait(const std::string& program, const std::vector<std::string>& arguments,
                          std::vector<EnvironmentVariable> environment = {});

/// The same with input and output as `options` say; `program` without "/" is looked up on PATH.
ProcessOutcome RunAndWait(const std::string& program, const std::vector<std::string>& arguments,
                          ProcessOptions options);

/// Starts `arguments[0]` (looked up on PATH when it has no "/") in the background, its standard
/// input empty and its output appended to `outputFile` (created 0600), or dropped when that is
/// empty. Returns its process id; the caller waits for it. Raises EOSError when it cannot start.
int StartInBackground(const std::vector<std::string>& arguments, const std::string& outputFile);

/// Starts `arguments[0]` (looked up on PATH when it has no "/") with `arguments` and this
/// process's environment, its standard input empty and its output shared with ours, and waits
/// up to `limit` for its end. Returns the exit status (128 + the signal number for a signal), or
/// nullopt when it still runs; it is then reaped in the background. Raises EOSError, carrying
/// the errno value, when the program cannot be started.
std::optional<int> StartAndWaitBriefly(const std::vector<std::string>& arguments,
                                       std::chrono::milliseconds limit);

/// Starts the program `arguments[0]` (a path) in a process group of its own, with this process's
/// environment and no input or output (both /dev/null), and waits up to `limit` for its end.
/// Returns the exit status (128 + the signal number for a signal), or nullopt when it still ran
/// at the limit: the whole group is then killed and reaped before the return. Raises EOSError
/// when the program cannot be started.
std::optional<int> RunWithTimeLimit(const std::vector<std::string>& arguments,
                                    std::chrono::milliseconds limit);

/// Starts `arguments[0]` (looked up on PATH when it has no "/") in a process group of its own,
/// with this process's environment, no input and its standard error dropped, and reads its
/// standard output until it ends. Returns its status and output, or nullopt when it still ran
/// at `limit`: the whole group is then killed and reaped before the return. Raises EOSError when
/// the program cannot be started.
std::optional<ProcessOutcome> ReadOutputWithTimeLimit(const std::vector<std::string>& arguments,
                                                      std::chrono::milliseconds limit);

/// The executable file `name` in the folders of PATH, or "" when there is none.
std::string FindInPath(const std::string& name);

/// True when `path` is a regular file this process may execute.
bool IsExecutableFile(const std::string& path);

} // namespace cq
