#include "base/FileUtil.h"

#include "base/Errors.h"
#include "base/FileDescriptor.h"
#include "base/KillPoint.h"
#include "base/Translate.h"
#include "base/Variables.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace cq {
namespace {

void WriteAll(int fd, std::string_view bytes, const std::string& path) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            throw MakeOSError(errno, path);
        }
        bytes.remove_prefix(static_cast<size_t>(written));
    }
}

bool IsReadOnly(const struct stat& info, const std::string& path) {
    return (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || ::access(path.c_str(), W_OK) != 0;
}

bool StartsWithDelimiter(const std::string& path) {
    return !path.empty() && path.front() == kPathDelimiter;
}

// Temporary files are the target's name, this marker and six random letters or digits, so that
// the ones an interrupted run left behind can be told from the user's files.
constexpr std::string_view kTemporaryMarker = ".cqtmp-";
constexpr size_t kTemporarySuffixLength = 6;
constexpr std::string_view kTemporaryAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

std::string RandomSuffix() {
    unsigned char bytes[kTemporarySuffixLength];
    if (::getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes))
        throw MakeOSError(errno, "getrandom");
    std::string suffix;
    for (unsigned char byte : bytes)
        suffix += kTemporaryAlphabet[byte % kTemporaryAlphabet.size()];
    return suffix;
}

struct TemporaryFile {
    std::string name;
    FileDescriptor fd;
};

// A new, empty file beside `path`. The mode given to open() is narrowed by the umask, as for any
// file the user's programs create; a private file starts as 0600 and is never wider.
TemporaryFile CreateTemporaryFile(const std::string& path, FileAccess access) {
    constexpr int kAttempts = 100;
    const mode_t mode = access == FileAccess::Private ? 0600 : 0666;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        std::string name = path + std::string(kTemporaryMarker) + RandomSuffix();
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0)
            return {std::move(name), FileDescriptor(fd)};
        if (errno != EEXIST)
            throw MakeOSError(errno, ExcludeTrailingPathDelimiter(ExtractFilePath(path)));
    }
    throw MakeOSError(EEXIST, path);
}

void SetMode(int fd, mode_t mode, const std::string& path) {
    if (::fchmod(fd, mode) != 0)
        throw MakeOSError(errno, path);
}

bool FolderRefusesNewFiles(const std::string& path) {
    const std::string folder = ExtractFilePath(path);
    return ::faccessat(AT_FDCWD, folder.empty() ? "." : folder.c_str(), W_OK, AT_EACCESS) != 0;
}

// A run killed between writing a file in place and cutting it to its new length must not leave
// the old content's tail after the new text: a shorter text is written padded with line ends up
// to the old length, which readers of the text files written here (settings and records,
// certificates) take for empty lines, and only then cut.
std::string PaddedToOldLength(std::string_view bytes, off_t oldLength) {
    std::string padded(bytes);
    if (oldLength > 0 && static_cast<size_t>(oldLength) > padded.size())
        padded.append(static_cast<size_t>(oldLength) - padded.size(), '\n');
    return padded;
}

// For a folder that refuses new files (a program folder the user may not change) when the file
// itself may be written: the new bytes over the old ones, the rest cut off, flushed. The room is
// reserved first, so a full disk is found before the old content is touched. A private file the
// user owns is narrowed to 0600 as well.
void RewriteInPlace(const std::string& path, std::string_view bytes, FileAccess access,
                    AtLink atLink) {
    // A link or a pipe that took the file's place since it was looked at is not opened.
    const int noLink = atLink == AtLink::Refuse ? O_NOFOLLOW | O_NONBLOCK : 0;
    FileDescriptor fd(::open(path.c_str(), O_WRONLY | O_CLOEXEC | noLink));
    if (fd.get() < 0)
        throw MakeOSError(errno, path);
    struct stat opened {};
    if (atLink == AtLink::Refuse && (::fstat(fd.get(), &opened) != 0 || !S_ISREG(opened.st_mode)))
        throw MakeOSError(EINVAL, path);
    if (!bytes.empty() &&
        ::fallocate(fd.get(), FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(bytes.size())) != 0 &&
        errno != EOPNOTSUPP && errno != ENOSYS)
        throw MakeOSError(errno, path);
    struct stat info {};
    const bool measured = ::fstat(fd.get(), &info) == 0;
    if (access == FileAccess::Private && measured && info.st_uid == ::geteuid())
        SetMode(fd.get(), 0600, path);
    WriteAll(fd.get(), PaddedToOldLength(bytes, measured ? info.st_size : 0), path);
    KillPoint("file-rewritten-in-place");
    if (::ftruncate(fd.get(), static_cast<off_t>(bytes.size())) != 0 || ::fsync(fd.get()) != 0)
        throw MakeOSError(errno, path);
    if (::close(fd.release()) != 0)
        throw MakeOSError(errno, path);
}

} // namespace

bool FileExists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

bool DirectoryExists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

size_t MaxFileSize(FileKind kind) {
    switch (kind) {
    case FileKind::Small:
        return size_t{1} << 20;
    case FileKind::Document:
        return size_t{16} << 20;
    }
    return 0;
}

namespace {

EOSError TooLargeFileError(const std::string& path, size_t limit) {
    return EOSError(TrFormat("Файл \"%1\" слишком велик (больше %2 МБ) и не читается.",
                             {path, std::to_string(limit >> 20)}),
                    EFBIG);
}

/// Refuses what is not a regular file or is larger than `limit`, before anything is read.
void CheckOpenedFile(int fd, const std::string& path, size_t limit) {
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        throw MakeOSError(errno, path);
    if (S_ISDIR(info.st_mode))
        throw MakeOSError(EISDIR, path);
    if (!S_ISREG(info.st_mode))
        throw EOSError(TrFormat("Файл \"%1\" не является обычным файлом (это канал, устройство "
                                "или сокет) и не читается.",
                                {path}),
                       EINVAL);
    if (static_cast<unsigned long long>(info.st_size) > limit)
        throw TooLargeFileError(path, limit);
}

} // namespace

std::string ReadFileBytes(const std::string& path, FileKind kind) {
    // Without O_NONBLOCK, opening a pipe nobody writes to would wait forever.
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0)
        throw MakeOSError(errno, path);
    const size_t limit = MaxFileSize(kind);
    CheckOpenedFile(fd.get(), path, limit);
    std::string bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            throw MakeOSError(errno, path);
        }
        if (got == 0)
            return bytes;
        bytes.append(buffer, static_cast<size_t>(got));
        if (bytes.size() > limit) // grown since it was measured
            throw TooLargeFileError(path, limit);
    }
}

void CheckReadableFile(const std::string& path, FileKind kind) {
    const FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0)
        throw MakeOSError(errno, path);
    CheckOpenedFile(fd.get(), path, MaxFileSize(kind));
}

void ForceDirectories(const std::string& path, std::optional<mode_t> exactMode) {
    const std::string folder = ExcludeTrailingPathDelimiter(path);
    if (folder.empty() || DirectoryExists(folder))
        return;
    const size_t slash = folder.find_last_of(kPathDelimiter);
    if (slash != std::string::npos && slash > 0)
        ForceDirectories(folder.substr(0, slash), exactMode);
    if (::mkdir(folder.c_str(), exactMode.value_or(0777)) != 0) {
        if (errno == EEXIST && DirectoryExists(folder))
            return; // made by someone else meanwhile: left as they made it
        throw MakeOSError(errno, folder);
    }
    // mkdir takes the umask off; a folder that must have an exact mode gets it afterwards.
    if (exactMode && ::chmod(folder.c_str(), *exactMode) != 0)
        throw MakeOSError(errno, folder);
}

std::string ResolveSymlinks(const std::string& path) {
    constexpr int kMaxLinks = 40; // the kernel's own limit for one path
    std::string resolved = path;
    for (int hop = 0; hop < kMaxLinks; ++hop) {
        struct stat info {};
        if (::lstat(resolved.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
            return resolved;
        std::vector<char> target(static_cast<size_t>(info.st_size > 0 ? info.st_size : 255) + 1);
        const ssize_t length = ::readlink(resolved.c_str(), target.data(), target.size());
        if (length < 0)
            throw MakeOSError(errno, resolved);
        const std::string link(target.data(), static_cast<size_t>(length));
        resolved = StartsWithDelimiter(link) ? link : ExtractFilePath(resolved) + link;
    }
    throw MakeOSError(ELOOP, path);
}

void RefuseOddFile(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        if (errno == ENOENT)
            return;
        throw MakeOSError(errno, path);
    }
    const auto refuse = [&path](int code, const std::string& problem) {
        return MakeOSError(code, TrFormat("Файл %1 не может быть записан: %2", {path, problem}));
    };
    if (S_ISLNK(info.st_mode))
        throw refuse(ELOOP, Tr("на его месте символическая ссылка"));
    if (S_ISDIR(info.st_mode))
        throw refuse(EISDIR, Tr("на его месте папка"));
    if (!S_ISREG(info.st_mode))
        throw refuse(EINVAL, Tr("на его месте не обычный файл"));
}

std::optional<std::string> PrivateFolderProblem(const std::string& path, OthersMay othersMay) {
    // A trailing delimiter would make lstat follow a link.
    const std::string folder = ExcludeTrailingPathDelimiter(path);
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0)
        throw MakeOSError(errno, folder);
    if (S_ISLNK(info.st_mode))
        return Tr("является ссылкой");
    if (!S_ISDIR(info.st_mode))
        return Tr("не является папкой");
    if (info.st_uid != ::geteuid())
        return Tr("принадлежит другому пользователю");
    if (othersMay == OthersMay::Nothing && (info.st_mode & 077) != 0)
        return Tr("открыта другим пользователям");
    if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return Tr("открыта другим пользователям для записи");
    return std::nullopt;
}

namespace {

/// The file a writer replaces: the path itself when links are refused (and then nothing odd
/// may stand there), else what its links lead to.
std::string WriterTarget(const std::string& path, AtLink atLink) {
    if (atLink == AtLink::Follow)
        return ResolveSymlinks(path);
    RefuseOddFile(path);
    return path;
}

} // namespace

PreparedFile::PreparedFile(const std::string& path, std::string_view bytes, FileAccess access,
                           AtLink atLink)
    : path_(WriterTarget(path, atLink)) {
    // With links refused, a link that took the file's place meanwhile is replaced by the
    // rename, never followed.
    struct stat info {};
    const bool exists = ::stat(path_.c_str(), &info) == 0;
    if (exists && (S_ISDIR(info.st_mode) || IsReadOnly(info, path_)))
        throw MakeOSError(S_ISDIR(info.st_mode) ? EISDIR : EACCES, path_);
    TemporaryFile temp = CreateTemporaryFile(path_, access);
    tempName_ = temp.name;
    try {
        if (access == FileAccess::Private || exists)
            SetMode(temp.fd.get(), access == FileAccess::Private ? 0600 : info.st_mode & 07777,
                    path_);
        WriteAll(temp.fd.get(), bytes, path_);
        if (::fsync(temp.fd.get()) != 0)
            throw MakeOSError(errno, path_);
        if (::close(temp.fd.release()) != 0)
            throw MakeOSError(errno, path_);
    } catch (...) {
        ::unlink(tempName_.c_str());
        throw;
    }
}

PreparedFile::~PreparedFile() {
    if (!tempName_.empty())
        ::unlink(tempName_.c_str());
}

PreparedFile::PreparedFile(PreparedFile&& other) noexcept
    : path_(std::move(other.path_)), tempName_(std::move(other.tempName_)) {
    other.tempName_.clear();
}

void PreparedFile::Commit() {
    if (::rename(tempName_.c_str(), path_.c_str()) != 0)
        throw MakeOSError(errno, path_);
    tempName_.clear();
}

void WriteFileAtomically(const std::string& path, std::string_view bytes, FileAccess access,
                         AtLink atLink) {
    const std::string target = WriterTarget(path, atLink);
    struct stat info {};
    const bool writableFile =
        ::stat(target.c_str(), &info) == 0 && S_ISREG(info.st_mode) && !IsReadOnly(info, target);
    if (writableFile && FolderRefusesNewFiles(target))
        RewriteInPlace(target, bytes, access, atLink);
    else // reports why the file cannot be replaced
        PreparedFile(target, bytes, access, atLink).Commit();
}

bool IsTemporaryFileName(const std::string& name) {
    const size_t marker = name.rfind(kTemporaryMarker);
    if (marker == std::string::npos || marker == 0)
        return false;
    const std::string_view suffix = std::string_view(name).substr(marker + kTemporaryMarker.size());
    return suffix.size() == kTemporarySuffixLength &&
           std::all_of(suffix.begin(), suffix.end(),
                       [](char c) { return kTemporaryAlphabet.find(c) != std::string_view::npos; });
}

void RemoveStaleTemporaryFiles(const std::string& folder) {
    DIR* directory = ::opendir(folder.c_str());
    if (!directory)
        return;
    const std::string prefix = IncludeTrailingPathDelimiter(folder);
    while (const dirent* entry = ::readdir(directory)) {
        const std::string name = entry->d_name;
        if (IsTemporaryFileName(name) && FileExists(prefix + name))
            ::unlink((prefix + name).c_str());
    }
    ::closedir(directory);
}

void AppendToFile(const std::string& path, std::string_view bytes) {
    FileDescriptor fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666));
    if (fd.get() < 0)
        throw MakeOSError(errno, path);
    WriteAll(fd.get(), bytes, path);
    if (::close(fd.release()) != 0)
        throw MakeOSError(errno, path);
}

std::string ExtractFilePath(const std::string& path) {
    const size_t slash = path.find_last_of(kPathDelimiter);
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string ExtractFileName(const std::string& path) {
    const size_t slash = path.find_last_of(kPathDelimiter);
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ChangeFileExt(const std::string& path, const std::string& extension) {
    const size_t slash = path.find_last_of(kPathDelimiter);
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return path + extension;
    return path.substr(0, dot) + extension;
}

std::string IncludeTrailingPathDelimiter(const std::string& path) {
    return !path.empty() && path.back() == kPathDelimiter ? path : path + kPathDelimiter;
}

std::string ExcludeTrailingPathDelimiter(const std::string& path) {
    if (path.size() > 1 && path.back() == kPathDelimiter)
        return path.substr(0, path.size() - 1);
    return path;
}

std::string ExpandEnvironmentStrings(std::string_view text) {
    return ExpandVariables(text, [](const std::string& name) -> std::optional<std::string> {
        const char* value = std::getenv(name.c_str());
        return value ? std::optional<std::string>(value) : std::nullopt;
    });
}

std::string UserDataFolder() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    // The XDG rule: a relative value is invalid and ignored (it would depend on the working
    // directory).
    if (xdg && *xdg == '/')
        return IncludeTrailingPathDelimiter(xdg);
    const char* home = std::getenv("HOME");
    return IncludeTrailingPathDelimiter(std::string(home ? home : "") + "/.local/share");
}

} // namespace cq
