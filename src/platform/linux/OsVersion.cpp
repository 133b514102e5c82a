#include "platform/OsVersion.h"

#include <cctype>
#include <sys/utsname.h>

namespace cq {

OsVersionInfo OsVersionFromRelease(std::string_view release) {
    int numbers[3] = {0, 0, 0};
    size_t position = 0;
    for (int& number : numbers) {
        if (position >= release.size() ||
            !std::isdigit(static_cast<unsigned char>(release[position])))
            break;
        long value = 0;
        while (position < release.size() &&
               std::isdigit(static_cast<unsigned char>(release[position])) && value < 1000000)
            value = value * 10 + (release[position++] - '0');
        number = static_cast<int>(value);
        if (position >= release.size() || release[position] != '.')
            break;
        ++position;
    }
    return {numbers[0], numbers[1], numbers[2], kNtPlatformId};
}

OsVersionInfo QueryOsVersion() {
    utsname names{};
    if (::uname(&names) != 0)
        return {0, 0, 0, kNtPlatformId};
    return OsVersionFromRelease(names.release);
}

} // namespace cq
