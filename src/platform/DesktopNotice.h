#pragma once
// Desktop notifications: the freedesktop notification service on the user's session bus shows
// a notice with a default action, and tells when the user takes it or the notice goes.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace cq {

class DesktopNotices {
public:
    virtual ~DesktopNotices() = default;

    /// Shows a notice whose default action is offered; its id, or nothing with `problem` set
    /// (in Russian) when the service refuses it or is not there.
    virtual std::optional<uint32_t> show(const std::string& summary, const std::string& body,
                                         std::string& problem) = 0;

    /// Waits until every notice shown is closed or its default action taken, at most `limit`;
    /// `onDefault` is called with the id of each notice whose default action the user took.
    virtual void waitForAnswers(std::chrono::milliseconds limit,
                                const std::function<void(uint32_t id)>& onDefault) = 0;
};

/// The notification service of the session bus; nullptr with `problem` set (in Russian) when
/// there is no session bus.
std::unique_ptr<DesktopNotices> ConnectDesktopNotices(const std::string& applicationName,
                                                      std::string& problem);

} // namespace cq
