#include "platform/DesktopOpen.h"

#include "base/Errors.h"
#include "base/ShellOpenCodes.h"
#include "platform/Process.h"

#include <cerrno>

namespace cq {
namespace {

// xdg-open returns once the handler has taken the path; some handlers keep it waiting for as
// long as they run, and then the path is open.
constexpr auto kHandlerStartTime = std::chrono::seconds(5);

int CodeForSpawnError(int error) {
    switch (error) {
    case EACCES:
    case EPERM:
        return shellopen::kAccessDenied;
    case ENOMEM:
        return shellopen::kOutOfMemory;
    default:
        return shellopen::kNoAssociation; // no xdg-open: nothing is associated with anything
    }
}

int CodeForExitStatus(int status) {
    switch (status) {
    case 0:
        return shellopen::kSucceeded;
    case 1:
        return shellopen::kBadAssociation;
    case 2:
        return shellopen::kFileNotFound;
    default:
        return shellopen::kNoAssociation;
    }
}

} // namespace

int DesktopOpen(const std::string& path) {
    try {
        const std::optional<int> status =
            StartAndWaitBriefly({"xdg-open", path}, kHandlerStartTime);
        return status ? CodeForExitStatus(*status) : shellopen::kSucceeded;
    } catch (const EOSError& error) {
        return CodeForSpawnError(error.errorCode());
    }
}

} // namespace cq
