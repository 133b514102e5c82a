#include "settings/OtherUsers.h"

#include "base/Errors.h"
#include "base/FileDescriptor.h"
#include "base/FileUtil.h"
#include "base/Translate.h"
#include "settings/Settings.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace cq {
namespace {

constexpr size_t kMostSettingsBytes = size_t{1} << 20;

UserAccount AccountOf(const passwd& entry) {
    return {entry.pw_name ? entry.pw_name : "", entry.pw_uid, entry.pw_dir ? entry.pw_dir : ""};
}

std::string ReadAll(int fd, const std::string& path) {
    std::string bytes;
    char buffer[8192];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            throw MakeOSError(errno, TrFormat("Файл настроек %1", {path}));
        if (got == 0)
            return bytes;
        bytes.append(buffer, size_t(got));
        if (bytes.size() > kMostSettingsBytes)
            throw Exception(TrFormat("Файл настроек %1 слишком велик.", {path}));
    }
}

} // namespace

std::vector<UserAccount> SystemUsers() {
    std::vector<UserAccount> users;
    ::setpwent();
    while (const passwd* entry = ::getpwent())
        users.push_back(AccountOf(*entry));
    ::endpwent();
    return users;
}

std::vector<UserAccount> UsersOfPasswdFile(const std::string& path) {
    const std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "re"), std::fclose);
    if (!file)
        throw MakeOSError(errno, TrFormat("Файл пользователей %1", {path}));
    std::vector<UserAccount> users;
    while (const passwd* entry = ::fgetpwent(file.get()))
        users.push_back(AccountOf(*entry));
    return users;
}

std::string SettingsFileOfUser(const UserAccount& user) {
    return SettingsFileWith([&user](const std::string& name) -> std::optional<std::string> {
        if (name == "HOME")
            return user.Home;
        if (name == "USER" || name == "LOGNAME")
            return user.Name;
        return std::nullopt;
    });
}

std::optional<IniFile> ReadUserSettingsFile(const std::string& path, uid_t owner) {
    const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (file.get() < 0 && (errno == ENOENT || errno == ENOTDIR))
        return std::nullopt;
    if (file.get() < 0 && errno == ELOOP)
        throw Exception(TrFormat(
            "Файл настроек %1 — символическая ссылка; программа не читает через неё.", {path}));
    if (file.get() < 0)
        throw MakeOSError(errno, TrFormat("Файл настроек %1", {path}));
    struct stat info {};
    if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode))
        throw Exception(TrFormat("Файл настроек %1 — не обычный файл.", {path}));
    if (info.st_uid != owner && info.st_uid != 0)
        throw Exception(TrFormat("Файл настроек %1 принадлежит другому пользователю.", {path}));
    return ParseSettingsFile(ReadAll(file.get(), path), path);
}

} // namespace cq
