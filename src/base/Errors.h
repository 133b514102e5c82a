#pragma once
// The error types that travel through the program. Each one carries the class name that log
// records and the application-wide error box show.

#include <stdexcept>
#include <string>

namespace cq {

/// General error: a message only.
class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
    virtual std::string className() const { return "Exception"; }
    std::string message() const { return what(); }
};

/// A failed operating-system call; carries the system error code.
class EOSError : public Exception {
public:
    EOSError(const std::string& message, int code) : Exception(message), code_(code) {}
    std::string className() const override { return "EOSError"; }
    int errorCode() const { return code_; }

private:
    int code_;
};

/// An HTTP exchange that ended without a usable answer.
class EIdHTTPProtocolException : public Exception {
public:
    EIdHTTPProtocolException(int statusCode, const std::string& message,
                             const std::string& errorMessage)
        : Exception(message), statusCode_(statusCode), errorMessage_(errorMessage) {}
    std::string className() const override { return "EIdHTTPProtocolException"; }
    int errorCode() const { return statusCode_; }
    /// The protocol error text (for an HTTP error status, the status line).
    const std::string& errorMessage() const { return errorMessage_; }

private:
    int statusCode_;
    std::string errorMessage_;
};

/// A compressed answer that could not be unpacked.
class EZDecompressionError : public Exception {
public:
    using Exception::Exception;
    std::string className() const override { return "EZDecompressionError"; }
};

/// The class name of any error: ours carry one, anything else is named by its C++ type.
std::string ClassNameOf(const std::exception& error);

/// The system's message text for an errno value: in Russian for the failures of files and
/// folders (a missing file, no access, a full disk, ...), the C library's text otherwise.
std::string SystemErrorMessage(int code);

/// Builds the EOSError for a failed system call with the given errno value:
/// "System Error.  Code: %d.\r\n%s" with context (plus " : " when not empty) and the system text.
EOSError MakeOSError(int code, const std::string& context = {});

} // namespace cq
