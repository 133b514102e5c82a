#include "ui/TerminationWatch.h"

#include "base/Cancellation.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace cq::ui {
namespace {

constexpr int kSignals[3] = {SIGTERM, SIGINT, SIGHUP};

// The signal handler may only write to a descriptor; the event loop reads the other end. It
// also asks the work in progress to stop at once (async-signal-safe), so an exchange that waits
// on a silent service ends and rolls back while the event loop closes the window.
int wakeDescriptors[2] = {-1, -1};

void WakeEventLoop(int) {
    RequestCancel();
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(wakeDescriptors[0], &byte, 1);
}

} // namespace

TerminationWatch::TerminationWatch(std::function<void()> onSignal)
    : onSignal_(std::move(onSignal)) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, wakeDescriptors) != 0)
        return; // without it the signals keep their default effect
    notifier_ = new QSocketNotifier(wakeDescriptors[1], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        char bytes[16];
        while (::read(wakeDescriptors[1], bytes, sizeof bytes) > 0) {
        }
        onSignal_();
    });
    struct sigaction action = {};
    action.sa_handler = WakeEventLoop;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (size_t i = 0; i < std::size(kSignals); ++i)
        ::sigaction(kSignals[i], &action, &previous_[i]);
}

TerminationWatch::~TerminationWatch() {
    if (!notifier_)
        return;
    for (size_t i = 0; i < std::size(kSignals); ++i)
        ::sigaction(kSignals[i], &previous_[i], nullptr);
    delete notifier_;
    for (int& descriptor : wakeDescriptors) {
        ::close(descriptor);
        descriptor = -1;
    }
}

} // namespace cq::ui
