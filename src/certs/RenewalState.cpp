#include "certs/RenewalState.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cstring>
#include <memory>

namespace cq {

namespace {

bool IsRegularFileNoFollow(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

} // namespace

std::string NewestPreviousPairFolder(const std::string& folder) {
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
    if (!dir)
        return {};
    const size_t prefixLength = std::strlen(kPreviousPairPrefix);
    std::string newest;
    while (const dirent* entry = ::readdir(dir.get())) {
        if (std::strncmp(entry->d_name, kPreviousPairPrefix, prefixLength) != 0)
            continue;
        struct stat info {};
        const std::string path = folder + entry->d_name;
        if (::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && entry->d_name > newest)
            newest = entry->d_name;
    }
    return newest;
}

std::string_view RenewalStateWord(RenewalState state) {
    switch (state) {
    case RenewalState::Pending:
        return "pending";
    case RenewalState::Issued:
        return "issued";
    case RenewalState::None:
        break;
    }
    return "none";
}

RenewalState ReadRenewalState(const std::string& folder) {
    if (IsRegularFileNoFollow(folder + kRenewalRecordFile))
        return RenewalState::Pending;
    return NewestPreviousPairFolder(folder).empty() ? RenewalState::None : RenewalState::Issued;
}

} // namespace cq
