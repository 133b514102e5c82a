#include "Faults.h"

#include "Files.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <stdexcept>

namespace sandbox {

namespace {

constexpr int kDefaultSlowSeconds = 5;

std::string Trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    const size_t last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

} // namespace

Fault ReadFault(const std::string& dir) {
    static const std::map<std::string, Fault> kNames = {
        {"status500", Fault::Status500},
        {"no-marker", Fault::NoMarker},
        {"marker-lowercase", Fault::MarkerLowercase},
        {"bad-gzip-trailer", Fault::BadGzipTrailer},
        {"short-gzip", Fault::ShortGzip},
        {"slow", Fault::Slow},
        {"close-mid-body", Fault::CloseMidBody},
    };
    const std::string name = Trimmed(ReadWholeFile(FolderPath(dir) + "fault").value_or(""));
    if (name.empty())
        return Fault::None;
    const auto found = kNames.find(name);
    if (found == kNames.end()) {
        std::fprintf(stderr, "sandbox-ca: unknown fault \"%s\" ignored\n", name.c_str());
        return Fault::None;
    }
    return found->second;
}

int SlowSeconds(const std::string& dir) {
    const std::string text = Trimmed(ReadWholeFile(FolderPath(dir) + "slow-seconds").value_or(""));
    try {
        return text.empty() ? kDefaultSlowSeconds : std::max(0, std::stoi(text));
    } catch (const std::exception&) {
        return kDefaultSlowSeconds;
    }
}

} // namespace sandbox
