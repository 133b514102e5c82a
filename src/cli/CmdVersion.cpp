#include "base/ProgramInfo.h"
#include "cli/Commands.h"
#include "log/Identity.h"

#include <iostream>

namespace cq::cli {

int CmdVersion(const Arguments&) {
    std::cout << "ProgramFileName=" << ProgramFileName() << "\n"
              << "ProgramVersion=" << ProgramVersion() << "\n"
              << "ProgramFolder=" << ProgramFolder() << "\n"
              << "StationName=" << StationName() << "\n"
              << "StationIdentity=" << StationIdentity() << "\n";
    return kExitOk;
}

} // namespace cq::cli
