#pragma once
// The error types that travel through the program. Each one carries the class name that log
// records and the application-wide error box show, and the kind of failure it is, set where it
// is raised: front ends choose their answer (an exit status, a box) by that kind, never by the
// wording of the message.

#include <stdexcept>
#include <string>
#include <utility>

namespace cq {

/// The kind of a failure, as the one who raises it knows it.
enum class FailureClass {
    Other,         ///< none of the kinds below
    NotConfigured, ///< the program's set-up is incomplete: operator's files, CA file, addresses
    Network,       ///< no connection, TLS failure, time-out, proxy
    Refused,       ///< the service answered with an error or refused the request
    NotIssued,     ///< the service has not issued the certificate yet
    Expired,       ///< the certificate has expired
    Mismatch,      ///< a certificate and a key that do not belong together
    WrongPassword, ///< a wrong key, container or file password
    BadInput,      ///< what the user gave cannot be used (an address, a value, a missing option)
    Busy,          ///< another operation holds what this one needs
    Cancelled,     ///< the user stopped the operation or declined to give what it needs
};

/// General error: a message only.
class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message, FailureClass failure = FailureClass::Other)
        : std::runtime_error(message), failure_(failure) {}
    virtual std::string className() const { return "Exception"; }
    std::string message() const { return what(); }
    FailureClass failureClass() const { return failure_; }
    /// The message as a sentence for a reader: without system codes and line breaks.
    virtual std::string readableMessage() const { return message(); }

private:
    FailureClass failure_;
};

/// A failed operating-system call; carries the system error code.
class EOSError : public Exception {
public:
    EOSError(const std::string& message, int code, FailureClass failure = FailureClass::Other,
             std::string readable = {})
        : Exception(message, failure), code_(code), readable_(std::move(readable)) {}
    std::string className() const override { return "EOSError"; }
    int errorCode() const { return code_; }
    /// The context and the system's text, without the code (the message when none was given).
    std::string readableMessage() const override {
        return readable_.empty() ? message() : readable_;
    }

private:
    int code_;
    std::string readable_;
};

/// An HTTP exchange that ended without a usable answer. Unless the raiser says otherwise, the
/// service refused: it answered with an error status.
class EIdHTTPProtocolException : public Exception {
public:
    EIdHTTPProtocolException(int statusCode, const std::string& message,
                             const std::string& errorMessage,
                             FailureClass failure = FailureClass::Refused)
        : Exception(message, failure), statusCode_(statusCode), errorMessage_(errorMessage) {}
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

/// The failure class of any error: ours carry one, anything else is FailureClass::Other.
FailureClass FailureClassOf(const std::exception& error);

/// The system's message text for an errno value: the program's own words, in the user's language,
/// for the failures of files and folders (a missing file, no access, a full disk, ...), the C
/// library's text otherwise.
std::string SystemErrorMessage(int code);

/// Builds the EOSError for a failed system call with the given errno value:
/// "System Error.  Code: %d.\r\n%s" with context (plus " : " when not empty) and the system text.
EOSError MakeOSError(int code, const std::string& context = {},
                     FailureClass failure = FailureClass::Other);

} // namespace cq
