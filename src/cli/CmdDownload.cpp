#include "cli/Commands.h"

#include <iostream>

namespace cq::cli {

int CmdDownload(const Arguments&) {
    std::cerr << "Команда ещё не готова.\n";
    return kExitFailed;
}

} // namespace cq::cli
