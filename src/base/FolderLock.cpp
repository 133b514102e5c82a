#include "base/FolderLock.h"

#include "base/Errors.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

namespace cq {
namespace {

constexpr std::chrono::milliseconds kRetryInterval{50};

} // namespace

FolderLock::FolderLock(FolderLock&& other) noexcept : fd_(other.fd_) {
    other.fd_ = -1;
}

FolderLock& FolderLock::operator=(FolderLock&& other) noexcept {
    if (this != &other) {
        Release();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

FolderLock::~FolderLock() {
    Release();
}

void FolderLock::Release() noexcept {
    if (fd_ >= 0)
        ::close(fd_); // closing the descriptor drops the lock
    fd_ = -1;
}

std::optional<FolderLock> FolderLock::Acquire(const std::string& folder,
                                              std::chrono::milliseconds wait) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        throw MakeOSError(errno, folder);
    FolderLock held(fd);
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            return held;
        if (errno == EINTR)
            continue;
        if (errno != EWOULDBLOCK)
            return held; // no such locks here (some network file systems): go on unlocked
        if (std::chrono::steady_clock::now() >= deadline)
            return std::nullopt;
        std::this_thread::sleep_for(kRetryInterval);
    }
}

} // namespace cq
