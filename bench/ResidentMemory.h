#pragma once
// The resident memory of this process, read the same way by the program measured and by the
// bare reference it is compared with.

#include <fstream>
#include <set>
#include <string>

namespace cq::bench {

/// A field of /proc/self/status in kilobytes ("VmRSS:", "RssAnon:", "RssFile:"), or -1.
inline long StatusKilobytes(const std::string& field) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(field, 0) == 0)
            return std::stol(line.substr(field.size()));
    }
    return -1;
}

/// VmRSS of /proc/self/status in kilobytes, or -1 when it cannot be read.
inline long ResidentKilobytes() {
    return StatusKilobytes("VmRSS:");
}

/// Where the resident memory goes: "<resident> <anonymous> <file-backed> <shared libraries>",
/// the line the measured programs print at their first paint after "painted".
inline std::string ResidentBreakdown() {
    std::ifstream maps("/proc/self/maps");
    std::set<std::string> libraries;
    for (std::string line; std::getline(maps, line);) {
        const size_t path = line.find('/');
        if (path != std::string::npos && line.find(".so", path) != std::string::npos)
            libraries.insert(line.substr(path));
    }
    return std::to_string(ResidentKilobytes()) + " " + std::to_string(StatusKilobytes("RssAnon:")) +
           " " + std::to_string(StatusKilobytes("RssFile:")) + " " +
           std::to_string(libraries.size());
}

} // namespace cq::bench
