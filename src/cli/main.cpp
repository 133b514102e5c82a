#include "app/ErrorReport.h"
#include "base/Dialogs.h"
#include "base/FileUtil.h"
#include "base/ProgramInfo.h"
#include "base/TextCodec.h"
#include "base/Translate.h"
#include "cli/Commands.h"
#include "cli/ConsoleDialogs.h"
#include "cli/Failure.h"
#include "cli/JsonOutput.h"
#include "cli/OptionTable.h"
#include "cli/Options.h"
#include "cli/SignalStop.h"
#include "cli/Usage.h"
#include "log/Log.h"
#include "transport/ProgramSession.h"

#include <algorithm>
#include <functional>
#include <iostream>
#include <map>
#include <optional>

namespace {

using cq::cli::Arguments;
using cq::cli::CommandLine;

using Command = std::function<int(const Arguments&)>;

const std::map<std::string, Command>& CommandTable() {
    static const std::map<std::string, Command> commands = {
        {"version", cq::cli::CmdVersion},
        {"settings", cq::cli::CmdSettings},
        {"get", cq::cli::CmdGet},
        {"request", cq::cli::CmdRequest},
        {"renew", cq::cli::CmdRenew},
        {"download", cq::cli::CmdDownload},
        {"check", cq::cli::CmdCheck},
        {"export", cq::cli::CmdExport},
        {"providers", cq::cli::CmdProviders},
        {"list", cq::cli::CmdList},
        {"import", cq::cli::CmdImport},
        {"status", cq::cli::CmdStatus},
        {"doctor", cq::cli::CmdDoctor},
        {"forget", cq::cli::CmdForget},
        {"notify", cq::cli::CmdNotify},
        {"report", cq::cli::CmdReport},
    };
    return commands;
}

/// With --verbose, the log's records of this run follow on standard error once it ends.
class VerboseLog {
public:
    explicit VerboseLog(bool on) : on_(on) {
        if (!on_ || !cq::LogRunning())
            return;
        file_ = cq::LogFileName();
        start_ = cq::FileExists(file_) ? cq::ReadFileBytes(file_).size() : 0;
    }
    void show() const {
        if (!on_ || file_.empty() || !cq::FileExists(file_))
            return;
        cq::FlushLog();
        const std::string bytes = cq::ReadFileBytes(file_);
        if (bytes.size() > start_)
            std::cerr << cq::FromCp1251(bytes.substr(start_)) << std::flush;
    }

private:
    bool on_;
    std::string file_;
    size_t start_ = 0;
};

/// What is wrong, then the tool's usage, or for a command where its help is.
int UsageFailure(const cq::cli::UsageError& error, bool json) {
    if (json)
        cq::cli::PrintJson(
            cq::cli::ErrorDocument(cq::cli::kExitUsage, cq::FailureClass::BadInput, error.message));
    std::cerr << error.message << "\n";
    if (error.command.empty())
        std::cerr << cq::cli::ToolUsage();
    else
        std::cerr << cq::TrFormat("Справка: certquorix-cli %1 --help", {error.command}) << "\n";
    return cq::cli::kExitUsage;
}

/// Help, the version and a command line that cannot run need no settings, log or connection.
std::optional<int> AnswerWithoutRunning(const Arguments& args, CommandLine& line) {
    try {
        line = cq::cli::ParseCommandLine(args);
    } catch (const cq::cli::UsageError& error) {
        const bool json = std::find(args.begin(), args.end(), "--json") != args.end();
        return UsageFailure(error, json);
    }
    if (line.help) {
        std::cout << (line.command.empty() ? cq::cli::ToolUsage()
                                           : cq::cli::CommandUsage(line.command));
        return cq::cli::kExitOk;
    }
    return std::nullopt;
}

/// The status of a failed run, refined by the class of the first error it reported.
int RefinedStatus(int status, const cq::cli::ConsoleDialogs& dialogs) {
    if (status != cq::cli::kExitFailed)
        return status;
    return cq::cli::FailureStatus(dialogs.firstErrorClass());
}

/// The log of this run. A command that only reads runs without it when its folder cannot be
/// made (a read-only home): one note says so, and the run goes on.
void StartLog(cq::ProgramSession& session, const std::string& command) {
    const cq::cli::CommandSpec* spec = cq::cli::FindCommand(command);
    if (!spec || !spec->readsOnly) {
        session.startLog();
        return;
    }
    session.startLog([] {
        try {
            cq::InitLog(cq::kLogAppFolder, cq::kLogSettingsName, cq::kLogNameSuffix);
        } catch (const std::exception& error) {
            std::cerr << cq::TrFormat("Журнал не ведётся: %1", {cq::PlainDescription(error)})
                      << "\n";
        }
    });
}

int RunCommand(const CommandLine& line, cq::cli::ConsoleDialogs& dialogs) {
    int status = cq::cli::kExitFailed;
    try {
        cq::ProgramSession session(false);
        StartLog(session, line.command);
        const VerboseLog verbose(line.verbose);
        status = CommandTable().at(line.command)(line.arguments);
        cq::FlushLog();
        verbose.show();
    } catch (const std::exception& error) {
        cq::cli::Fail(error);
    }
    return RefinedStatus(status, dialogs);
}

} // namespace

int main(int argc, char** argv) {
    cq::UseUserLanguage(cq::ProgramFolder() + "locale");
    const Arguments args(argv + 1, argv + argc);
    if (args.size() == 1 && args.front() == "--version") {
        std::cout << cq::ProgramVersion() << "\n";
        return cq::cli::kExitOk;
    }
    CommandLine line;
    if (const std::optional<int> answered = AnswerWithoutRunning(args, line))
        return *answered;
    cq::cli::ConsoleDialogs dialogs(line.yes);
    dialogs.setQuiet(line.quiet || line.json);
    cq::SetDialogs(&dialogs);
    // A termination signal stops the operation as a failure would; the program ends by it after.
    cq::cli::SignalStop signalStop;
    // --quiet keeps standard output empty (a --json document still goes out): only errors show.
    std::streambuf* output = std::cout.rdbuf();
    if (line.quiet && !line.json)
        std::cout.rdbuf(nullptr);
    const int status = RunCommand(line, dialogs);
    std::cout.rdbuf(output);
    std::cout.clear();
    cq::SetDialogs(nullptr);
    // A --json command that failed without a document of its own gets the error's.
    if (line.json && status != cq::cli::kExitOk && !cq::cli::JsonPrinted())
        cq::cli::PrintJson(cq::cli::ErrorDocument(
            status, cq::cli::ClassForStatus(status, dialogs.firstErrorClass()),
            dialogs.firstMessage()));
    signalStop.endIfSignalled();
    return status;
}
