#pragma once
// Faults the tests switch on while the server runs, by writing a name into DIR/fault.

#include <string>

namespace sandbox {

enum class Fault {
    None,
    Status500,       // 500 with a short body
    NoMarker,        // the request page without the request's PEM text
    MarkerLowercase, // the request page with the PEM armour in small letters
    BadGzipTrailer,  // gzip body (even when not asked for) whose CRC-32 is wrong
    ShortGzip,       // gzip body (even when not asked for) cut before its end
    Slow,            // sleeps DIR/slow-seconds (default 5) before answering
    CloseMidBody,    // announces more bytes than it sends, then closes the connection
};

/// The fault named in DIR/fault; None when the file is absent, empty or names no fault.
Fault ReadFault(const std::string& dir);
/// The delay of the slow fault from DIR/slow-seconds.
int SlowSeconds(const std::string& dir);

} // namespace sandbox
