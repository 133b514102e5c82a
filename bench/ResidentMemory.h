#pragma once
// The resident memory of this process, read the same way by the program measured and by the
// bare reference it is compared with.

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
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

/// Resident kilobytes of /proc/self/smaps summed by what is mapped: a file's path, or the
/// kernel's name of the area ("[heap]", "[stack]"), or "[anonymous]".
inline std::map<std::string, long> ResidentByMapping() {
    std::ifstream smaps("/proc/self/smaps");
    std::map<std::string, long> resident;
    std::string current = "[anonymous]";
    for (std::string line; std::getline(smaps, line);) {
        std::istringstream fields(line);
        std::string first;
        fields >> first;
        if (first == "Rss:") {
            long kilobytes = 0;
            fields >> kilobytes;
            resident[current] += kilobytes;
        } else if (first.find('-') != std::string::npos && first.back() != ':') {
            // "start-end perms offset dev inode [path]": a new mapping
            std::string skip, path;
            fields >> skip >> skip >> skip >> skip;
            std::getline(fields >> std::ws, path);
            current = path.empty() ? "[anonymous]" : path;
        }
    }
    return resident;
}

/// With CQ_BENCH_MAPPINGS set, prints one "mapping <kB> <what>" line per mapped thing and an
/// "end" line: the measuring program adds up where the memory goes.
inline void PrintMappingsWhenAsked() {
    if (!std::getenv("CQ_BENCH_MAPPINGS"))
        return;
    for (const auto& [what, kilobytes] : ResidentByMapping())
        std::printf("mapping %ld %s\n", kilobytes, what.c_str());
    std::printf("end\n");
    std::fflush(stdout);
}

} // namespace cq::bench
