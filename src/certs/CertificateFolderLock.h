#pragma once
// One operation's hold on the certificate folder of an address. Request, download, check and
// export (in the window and in the command-line tool alike) each take it before they look at
// the folder, so two of them never work on one address at the same time: the second one waits
// briefly and then stops with a plain message.

#include "base/FolderLock.h"

#include <chrono>
#include <optional>
#include <string>

namespace cq {

/// How long an operation waits for another one on the same address to end.
inline constexpr std::chrono::milliseconds kCertificateFolderWait{2000};

/// The message of an operation that found the address's folder held by another.
std::string FolderBusyMessage(const std::string& email);

class CertificateFolderLock {
public:
    /// What to do when the folder does not exist yet.
    enum class Missing {
        Create, ///< create it (owner only) and hold it: the operation writes into it
        Leave,  ///< leave it missing; there is nothing to hold
    };

    /// Applies the address rules, then holds the folder of `email`, waiting up to `wait` for
    /// another holder, refuses it when it is a link, another user's or writable by others
    /// (CheckCertificateFolder), removes the temporary files an interrupted run left in it and
    /// finishes or undoes the request or the renewal's swap such a run left
    /// (RecoverInterruptedRequest, RecoverInterruptedSwap). Raises
    /// Exception with the address rules' message, FolderBusyMessage or the message of a request
    /// journal that is not followed (the folder is then released untouched), and EOSError when
    /// the folder cannot be created or opened or may not be used.
    CertificateFolderLock(const std::string& email, Missing missing,
                          std::chrono::milliseconds wait = kCertificateFolderWait);

    /// The certificate folder, with its trailing delimiter.
    const std::string& folder() const { return folder_; }

private:
    std::string folder_;
    std::optional<FolderLock> lock_;
};

} // namespace cq
