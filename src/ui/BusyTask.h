#pragma once
// Long work of a window handler (key generation, an exchange with the service) runs on a worker
// thread while the interface thread keeps painting. Meanwhile the program's windows show the wait
// cursor and take no input, and the result or the exception comes back to the handler on the
// interface thread, so handlers stay straight-line code:
//
//     const auto outcome = RunBusy([&] { return RequestRsaCertificate(...); });
//
// Input is swallowed by an application-wide event filter rather than by disabling the windows:
// a disabled window greys its controls, and the window must look the same while it waits.
// Windows opened during the work (message boxes asked for by the worker, a provider's password
// dialog) are not affected and take input as usual.
//
// The worker may call the core's Dialogs: the Qt boxes marshal themselves to the interface thread
// with a blocking call (QtDialogs). Anything else that touches widgets goes through
// RunOnInterfaceThread.

#include <exception>
#include <functional>
#include <optional>
#include <type_traits>
#include <utility>

namespace cq::ui {

/// Runs `work` on a worker thread while the windows are busy (wait cursor, no input, repainting)
/// and returns when it is over; an exception `work` throws is rethrown here. Called on the
/// interface thread. A call made while another one waits (a timer firing meanwhile) nests: the
/// windows stay busy until the outer one ends. Called on any other thread, `work` just runs.
void RunBusyTask(const std::function<void()>& work);

/// The same for work with a result.
template <typename Work> auto RunBusy(Work&& work) -> std::invoke_result_t<Work&> {
    using Result = std::invoke_result_t<Work&>;
    if constexpr (std::is_void_v<Result>) {
        RunBusyTask(work);
    } else {
        std::optional<Result> result;
        RunBusyTask([&] { result.emplace(work()); });
        return std::move(*result);
    }
}

/// True while a busy task runs (on the interface thread's view).
bool BusyTaskRunning();

/// Runs `action` on the interface thread and waits for it; an exception it throws is rethrown to
/// the caller. On the interface thread itself `action` simply runs. The interface thread must be
/// running its event loop (as it does inside RunBusy), or the caller waits for ever.
void RunOnInterfaceThread(const std::function<void()>& action);

/// Held while a box or dialog is open during a busy task: the normal cursor shows over it.
class NormalCursorWhileBusy {
public:
    NormalCursorWhileBusy();
    ~NormalCursorWhileBusy();
    NormalCursorWhileBusy(const NormalCursorWhileBusy&) = delete;
    NormalCursorWhileBusy& operator=(const NormalCursorWhileBusy&) = delete;

private:
    bool pushed_ = false;
};

} // namespace cq::ui
