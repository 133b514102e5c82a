#include "base/FileUtil.h"

#include "base/Errors.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace cq {
namespace {

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    int release() {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

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

} // namespace

bool FileExists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

bool DirectoryExists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string ReadFileBytes(const std::string& path) {
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0)
        throw MakeOSError(errno, path);
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
    }
}

void ForceDirectories(const std::string& path) {
    const std::string folder = ExcludeTrailingPathDelimiter(path);
    if (folder.empty() || DirectoryExists(folder))
        return;
    const size_t slash = folder.find_last_of(kPathDelimiter);
    if (slash != std::string::npos && slash > 0)
        ForceDirectories(folder.substr(0, slash));
    if (::mkdir(folder.c_str(), 0755) != 0 && !(errno == EEXIST && DirectoryExists(folder)))
        throw MakeOSError(errno, folder);
}

PreparedFile::PreparedFile(const std::string& path, std::string_view bytes, mode_t newFileMode,
                           bool forceMode)
    : path_(path) {
    struct stat info {};
    const bool exists = ::stat(path.c_str(), &info) == 0;
    if (exists && (S_ISDIR(info.st_mode) || IsReadOnly(info, path)))
        throw MakeOSError(S_ISDIR(info.st_mode) ? EISDIR : EACCES, path);
    const mode_t mode = exists && !forceMode ? (info.st_mode & 07777) : newFileMode;

    std::string tempName = path + ".XXXXXX";
    std::vector<char> templ(tempName.begin(), tempName.end());
    templ.push_back('\0');
    FileDescriptor fd(::mkstemp(templ.data()));
    if (fd.get() < 0)
        throw MakeOSError(errno, path);
    tempName_ = templ.data();
    try {
        if (::fchmod(fd.get(), mode) != 0)
            throw MakeOSError(errno, path);
        WriteAll(fd.get(), bytes, path);
        if (::fsync(fd.get()) != 0)
            throw MakeOSError(errno, path);
        if (::close(fd.release()) != 0)
            throw MakeOSError(errno, path);
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

void WriteFileAtomically(const std::string& path, std::string_view bytes, mode_t newFileMode,
                         bool forceMode) {
    PreparedFile(path, bytes, newFileMode, forceMode).Commit();
}

void AppendToFile(const std::string& path, std::string_view bytes) {
    FileDescriptor fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
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
    std::string out;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t open = text.find('%', pos);
        const size_t close = open == std::string_view::npos ? open : text.find('%', open + 1);
        if (close == std::string_view::npos) {
            out.append(text.substr(pos));
            break;
        }
        out.append(text.substr(pos, open - pos));
        const std::string name(text.substr(open + 1, close - open - 1));
        const char* value = name.empty() ? nullptr : std::getenv(name.c_str());
        if (value) {
            out += value;
            pos = close + 1;
        } else {
            out += '%';
            out += name;
            pos = close; // the closing % may open the next reference
        }
    }
    return out;
}

std::string UserDataFolder() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg && *xdg)
        return IncludeTrailingPathDelimiter(xdg);
    const char* home = std::getenv("HOME");
    return IncludeTrailingPathDelimiter(std::string(home ? home : "") + "/.local/share");
}

} // namespace cq
