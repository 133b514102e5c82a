#include "cli/TerminalLine.h"

#include "base/Cancellation.h"

#include <cerrno>
#include <poll.h>
#include <unistd.h>

namespace cq::cli {

// A blocking read would not notice a stop asked for just before it began, and would wait for a
// line nobody is going to type; so the wait wakes up now and then to look at the stop request.
std::optional<std::string> ReadTerminalLine() {
    std::string line;
    for (;;) {
        if (CancelRequested())
            return std::nullopt;
        pollfd input{STDIN_FILENO, POLLIN, 0};
        if (::poll(&input, 1, 100) <= 0)
            continue; // a time-out or a signal: look at the stop request again
        char byte = 0;
        const ssize_t got = ::read(STDIN_FILENO, &byte, 1);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return line.empty() ? std::nullopt : std::optional<std::string>(line);
        if (byte == '\n')
            return line;
        line += byte;
    }
}

} // namespace cq::cli
