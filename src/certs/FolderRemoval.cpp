#include "certs/FolderRemoval.h"

#include "base/Errors.h"
#include "base/FileUtil.h"
#include "base/FolderLock.h"
#include "base/KillPoint.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace cq {
namespace {

// Address folders always hold an "@"; these names never do.
constexpr std::string_view kSetAsidePrefix = ".removing-";
constexpr size_t kSetAsideSuffixLength = 6;
constexpr std::string_view kSuffixAlphabet = "abcdefghijklmnopqrstuvwxyz0123456789";

std::string RandomSuffix() {
    std::random_device random;
    std::uniform_int_distribution<size_t> pick(0, kSuffixAlphabet.size() - 1);
    std::string suffix;
    for (size_t i = 0; i < kSetAsideSuffixLength; ++i)
        suffix += kSuffixAlphabet[pick(random)];
    return suffix;
}

/// Renames `from` to `to` unless `to` exists; false when it does.
bool RenameWithoutReplacing(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno == EEXIST)
        return false;
    if (errno != EINVAL && errno != ENOSYS)
        throw MakeOSError(errno, from);
    // A file system without the flag: a folder renamed over an empty one would take its place.
    struct stat info {};
    if (::lstat(to.c_str(), &info) == 0)
        return false;
    if (::rename(from.c_str(), to.c_str()) != 0)
        throw MakeOSError(errno, from);
    return true;
}

/// The folder under a free set-aside name in its parent; returns the new path.
std::string SetAside(const std::string& folder) {
    constexpr int kAttempts = 100;
    const std::string parent = ExtractFilePath(folder);
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        const std::string aside = parent + std::string(kSetAsidePrefix) + RandomSuffix();
        if (RenameWithoutReplacing(folder, aside))
            return aside;
    }
    throw MakeOSError(EEXIST, folder);
}

void DeleteTree(const std::string& path) {
    std::error_code error;
    std::filesystem::remove_all(path, error); // links are removed, not followed
    if (error)
        throw MakeOSError(error.value(), path);
}

} // namespace

bool IsSetAsideFolderName(const std::string& name) {
    if (name.size() != kSetAsidePrefix.size() + kSetAsideSuffixLength ||
        !name.starts_with(kSetAsidePrefix))
        return false;
    const std::string_view suffix = std::string_view(name).substr(kSetAsidePrefix.size());
    return std::all_of(suffix.begin(), suffix.end(),
                       [](char c) { return kSuffixAlphabet.find(c) != std::string_view::npos; });
}

void RemoveCertificateFolder(const CertificateFolderLock& held) {
    const std::string folder = ExcludeTrailingPathDelimiter(held.folder());
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0) {
        if (errno == ENOENT)
            return;
        throw MakeOSError(errno, folder);
    }
    const std::string aside = SetAside(folder);
    KillPoint("folder-set-aside");
    DeleteTree(aside);
}

std::vector<std::string> RemoveSetAsideFolders(const std::string& dataFolder) {
    std::vector<std::string> left;
    const std::string parent = IncludeTrailingPathDelimiter(dataFolder);
    DIR* directory = ::opendir(parent.c_str());
    if (!directory)
        return left;
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(directory))
        if (IsSetAsideFolderName(entry->d_name))
            names.push_back(entry->d_name);
    ::closedir(directory);
    for (const std::string& name : names) {
        const std::string path = parent + name;
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) ||
            info.st_uid != ::geteuid())
            continue; // not a folder this user set aside
        try {
            // A removal still under way holds the folder's lock all along.
            const std::optional<FolderLock> lock =
                FolderLock::Acquire(path, std::chrono::milliseconds(0));
            if (lock)
                DeleteTree(path);
        } catch (const std::exception&) {
            if (::lstat(path.c_str(), &info) == 0)
                left.push_back(path);
        }
    }
    return left;
}

} // namespace cq
