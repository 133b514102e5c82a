#include "Files.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace sandbox {

std::string FolderPath(const std::string& folder) {
    std::string path = folder;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path + "/";
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

namespace {

void WriteAll(int fd, const std::string& bytes, const std::string& path) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t wrote = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            throw std::runtime_error("cannot write " + path + ": " + std::strerror(errno));
        done += static_cast<size_t>(wrote);
    }
}

} // namespace

void WriteFileAtomically(const std::string& path, const std::string& bytes, mode_t mode) {
    std::string temporary = path + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0)
        throw std::runtime_error("cannot create " + temporary + ": " + std::strerror(errno));
    try {
        if (::fchmod(fd, mode) != 0)
            throw std::runtime_error("cannot set the mode of " + temporary);
        WriteAll(fd, bytes, temporary);
        if (::fsync(fd) != 0)
            throw std::runtime_error("cannot flush " + temporary);
    } catch (...) {
        ::close(fd);
        ::unlink(temporary.c_str());
        throw;
    }
    ::close(fd);
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        ::unlink(temporary.c_str());
        throw std::runtime_error("cannot replace " + path + ": " + std::strerror(errno));
    }
}

void MakeFolder(const std::string& path) {
    std::error_code error;
    std::filesystem::create_directories(path, error);
    if (error)
        throw std::runtime_error("cannot create folder " + path + ": " + error.message());
}

bool FileExists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::optional<double> FileAgeSeconds(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return std::nullopt;
    const auto written = std::chrono::system_clock::from_time_t(info.st_mtim.tv_sec) +
                         std::chrono::nanoseconds(info.st_mtim.tv_nsec);
    return std::chrono::duration<double>(std::chrono::system_clock::now() - written).count();
}

bool IsSafeFileName(const std::string& name) {
    if (name.empty() || name.size() > 254 || name.front() == '.')
        return false;
    for (const char c : name) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || std::strchr("._@+-", c) != nullptr;
        if (!plain || c == '\0')
            return false;
    }
    return true;
}

std::string LowerAscii(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

} // namespace sandbox
