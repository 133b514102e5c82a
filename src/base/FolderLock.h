#pragma once
// An exclusive lock on a folder, shared with every other process of this program that works on
// the same folder: the folder's own file descriptor under flock(2). The lock goes with the
// object, and with the process when it ends in any way.

#include <chrono>
#include <optional>
#include <string>

namespace cq {

class FolderLock {
public:
    FolderLock(FolderLock&& other) noexcept;
    FolderLock& operator=(FolderLock&& other) noexcept;
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    ~FolderLock();

    /// Takes the lock of an existing folder, waiting up to `wait` while another holder keeps it.
    /// Nothing when the other holder kept it all that time. Raises EOSError when the folder
    /// cannot be opened. On a file system without such locks the folder is held unlocked.
    static std::optional<FolderLock> Acquire(const std::string& folder,
                                             std::chrono::milliseconds wait);

private:
    explicit FolderLock(int fd) : fd_(fd) {}
    void Release() noexcept;

    int fd_ = -1;
};

} // namespace cq
