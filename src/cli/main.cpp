#include "app/ErrorReport.h"
#include "base/Dialogs.h"
#include "base/ProgramInfo.h"
#include "cli/Commands.h"
#include "cli/ConsoleDialogs.h"
#include "cli/SignalStop.h"
#include "cli/Usage.h"
#include "log/Log.h"
#include "transport/ProgramSession.h"

#include <functional>
#include <iostream>
#include <map>

using cq::cli::Arguments;

int main(int argc, char** argv) {
    const std::map<std::string, std::function<int(const Arguments&)>> commands = {
        {"version", cq::cli::CmdVersion},   {"settings", cq::cli::CmdSettings},
        {"get", cq::cli::CmdGet},           {"request", cq::cli::CmdRequest},
        {"download", cq::cli::CmdDownload}, {"check", cq::cli::CmdCheck},
        {"export", cq::cli::CmdExport},     {"providers", cq::cli::CmdProviders},
        {"list", cq::cli::CmdList},         {"import", cq::cli::CmdImport},
    };
    const Arguments args(argv + 1, argv + argc);
    // Help and the version need no settings, log or connection: answered before any of them.
    if (!args.empty() && (args.front() == "--help" || args.front() == "-h")) {
        std::cout << cq::cli::ToolUsage();
        return cq::cli::kExitOk;
    }
    if (!args.empty() && args.front() == "--version") {
        std::cout << cq::ProgramVersion() << "\n";
        return cq::cli::kExitOk;
    }
    if (args.empty() || !commands.count(args.front())) {
        std::cerr << cq::cli::ToolUsage();
        return cq::cli::kExitUsage;
    }
    if (cq::cli::AsksForHelp(Arguments(args.begin() + 1, args.end()))) {
        std::cout << cq::cli::CommandUsage(args.front());
        return cq::cli::kExitOk;
    }
    cq::cli::ConsoleDialogs dialogs(cq::cli::HasFlag(args, "--yes"));
    cq::SetDialogs(&dialogs);
    // A termination signal stops the operation as a failure would; the program ends by it after.
    cq::cli::SignalStop signalStop;
    int status = cq::cli::kExitFailed;
    try {
        cq::ProgramSession session(cq::IsDebugSwitch(args));
        session.startLog();
        status = commands.at(args.front())(Arguments(args.begin() + 1, args.end()));
        cq::FlushLog();
    } catch (const std::exception& error) {
        std::cerr << cq::DescribeError(error) << "\n";
    }
    cq::SetDialogs(nullptr);
    signalStop.endIfSignalled();
    return status;
}
