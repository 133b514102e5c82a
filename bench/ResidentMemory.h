#pragma once
// The resident memory of this process, read the same way by the program measured and by the
// bare reference it is compared with.

#include <fstream>
#include <string>

namespace cq::bench {

/// VmRSS of /proc/self/status in kilobytes, or -1 when it cannot be read.
inline long ResidentKilobytes() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    }
    return -1;
}

} // namespace cq::bench
