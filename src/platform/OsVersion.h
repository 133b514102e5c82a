#pragma once
// The version of the operating system as four numbers (major, minor, build, platform), the form
// certification requests carry it in.

#include <string_view>

namespace cq {

struct OsVersionInfo {
    int major = 0;
    int minor = 0;
    int build = 0;
    int platformId = 0;
};

/// The platform identifier of the NT family, which every current desktop system reports and
/// the certification service expects.
inline constexpr int kNtPlatformId = 2;

/// The numbers of a kernel release text ("6.1.0-18-amd64" gives 6, 1, 0): its first three
/// dot-separated numbers, 0 for a missing one, and kNtPlatformId.
OsVersionInfo OsVersionFromRelease(std::string_view release);

/// The version of the running system.
OsVersionInfo QueryOsVersion();

} // namespace cq
