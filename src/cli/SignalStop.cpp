#include "cli/SignalStop.h"

#include "base/Cancellation.h"

#include <csignal>
#include <cstdio>
#include <iostream>
#include <iterator>

namespace cq::cli {
namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr size_t kSignalCount = std::size(kStopSignals);

volatile sig_atomic_t caughtSignal = 0;
struct sigaction previousActions[kSignalCount];
bool installed[kSignalCount] = {};

void EndBySignal(int number) {
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    ::sigaction(number, &fallback, nullptr);
    sigset_t unblocked;
    sigemptyset(&unblocked);
    sigaddset(&unblocked, number);
    ::sigprocmask(SIG_UNBLOCK, &unblocked, nullptr);
    ::raise(number);
}

extern "C" void AskToStop(int number) {
    if (caughtSignal != 0) {
        EndBySignal(number); // asked twice: no more waiting for the operation
        return;
    }
    caughtSignal = number;
    RequestCancel();
}

} // namespace

SignalStop::SignalStop() {
    struct sigaction action {};
    action.sa_handler = AskToStop;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a prompt waiting for the terminal is interrupted and ends as unanswered.
    action.sa_flags = 0;
    for (size_t i = 0; i < kSignalCount; ++i) {
        ::sigaction(kStopSignals[i], nullptr, &previousActions[i]);
        installed[i] = previousActions[i].sa_handler != SIG_IGN;
        if (installed[i])
            ::sigaction(kStopSignals[i], &action, nullptr);
    }
}

SignalStop::~SignalStop() {
    for (size_t i = 0; i < kSignalCount; ++i)
        if (installed[i])
            ::sigaction(kStopSignals[i], &previousActions[i], nullptr);
}

void SignalStop::endIfSignalled() {
    const int number = caughtSignal;
    if (number == 0)
        return;
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    EndBySignal(number);
}

} // namespace cq::cli
