#include "base/ProgramInfo.h"
#include "cli/Commands.h"
#include "cli/JsonOutput.h"
#include "log/Identity.h"

#include <iostream>

namespace cq::cli {

int CmdVersion(const Arguments& args) {
    if (HasFlag(args, "--json")) {
        PrintJson({{"program_file", ProgramFileName()},
                   {"version", ProgramVersion()},
                   {"program_folder", ProgramFolder()},
                   {"station_name", StationName()},
                   {"station_identity", StationIdentity()}});
        return kExitOk;
    }
    std::cout << "ProgramFileName=" << ProgramFileName() << "\n"
              << "ProgramVersion=" << ProgramVersion() << "\n"
              << "ProgramFolder=" << ProgramFolder() << "\n"
              << "StationName=" << StationName() << "\n"
              << "StationIdentity=" << StationIdentity() << "\n";
    return kExitOk;
}

} // namespace cq::cli
