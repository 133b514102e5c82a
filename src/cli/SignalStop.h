#pragma once
// Termination signals while a command runs. Ctrl+C, SIGTERM and a closed terminal (SIGHUP) do
// not end the program at once: the first one asks the operation in progress to stop, so that it
// ends the way a failure does (an aborted transfer, the certificate folder put back), and the
// program then ends as that signal ends it. A second signal ends it at once. A signal that was
// ignored when the program started (nohup's SIGHUP) stays ignored.

namespace cq::cli {

class SignalStop {
public:
    /// Catches the signals until the object goes.
    SignalStop();
    /// Restores the actions the signals had before.
    ~SignalStop();
    SignalStop(const SignalStop&) = delete;
    SignalStop& operator=(const SignalStop&) = delete;

    /// When a signal came meanwhile, ends the program as that signal does (its default action,
    /// after the standard streams are flushed); returns otherwise.
    void endIfSignalled();
};

} // namespace cq::cli
