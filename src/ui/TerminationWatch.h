#pragma once
// A request to end the program from outside (SIGTERM at logout or from a service manager,
// SIGINT from a terminal, SIGHUP when the terminal goes) ends the run the ordinary way: the
// main window is closed, so the connection is closed and the log written as after a close by
// the user. Work in progress is asked to stop (it rolls back as on any failure) and open boxes
// close, so nothing keeps the program waiting for an answer.

#include <QObject>

#include <csignal>
#include <functional>

class QSocketNotifier;

namespace cq::ui {

class TerminationWatch : public QObject {
    Q_OBJECT
public:
    /// While it exists, the three signals run `onSignal` on the event loop.
    explicit TerminationWatch(std::function<void()> onSignal);
    ~TerminationWatch() override;
    TerminationWatch(const TerminationWatch&) = delete;
    TerminationWatch& operator=(const TerminationWatch&) = delete;

private:
    std::function<void()> onSignal_;
    QSocketNotifier* notifier_ = nullptr;
    struct sigaction previous_[3] = {};
};

} // namespace cq::ui
