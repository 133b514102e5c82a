#pragma once
// The exit status and the --json error of a failed command, made from the failure class its
// error carries: one table, the only place the tool turns a class into a status.

#include "base/Errors.h"

#include <string>
#include <vector>

namespace cq::cli {

/// One row of the table: a failure class, the exit status it ends the tool with, and the fixed
/// English word that names the class in a --json error document.
struct FailureRow {
    FailureClass failure;
    int status;
    const char* word;
};

/// Every failure class, once each.
const std::vector<FailureRow>& FailureTable();

/// The exit status of a failure class.
int FailureStatus(FailureClass failure);

/// The word of a failure class ("network", "wrong_password", ...).
std::string FailureWord(FailureClass failure);

/// The class a run that ends with `status` is reported under: `reported` (the first error's)
/// when it gives that status, else the first class of the table that does.
FailureClass ClassForStatus(int status, FailureClass reported);

/// The status of the first error the console has shown in this run; kExitFailed when none.
int ReportedFailureStatus();

/// The class of the first error the console has shown in this run; Other when none.
FailureClass ReportedFailureClass();

/// Shows `text` as an error of class `failure` (on stderr, kept for the --json document) and
/// returns the status the command ends with.
int Fail(FailureClass failure, const std::string& text, const std::string& caption = {});

/// The same for an error caught by a command: its class, its description, its plain sentence.
int Fail(const std::exception& error, const std::string& caption = {});

} // namespace cq::cli
