#pragma once
// Reading the certification request a client submits.

#include <optional>
#include <string>

namespace sandbox {

struct SubmittedRequest {
    std::string email; // the subject's e-mail address in lower case
    std::string pem;   // the request re-armoured as "NEW CERTIFICATE REQUEST", LF line ends
    bool gost = false; // the key is a GOST R 34.10 one
};

/// Parses a PEM request (label "NEW CERTIFICATE REQUEST" or "CERTIFICATE REQUEST", any line
/// ends, empty lines ignored). Nothing when it does not parse or carries no usable e-mail address;
/// `why` says which.
std::optional<SubmittedRequest> ParseSubmittedRequest(const std::string& text, std::string& why);

/// Decodes a query value: "%XX" escapes and "+" as a space, as HTML forms encode them.
std::string DecodeQueryValue(const std::string& text);
/// The raw (still escaped) value of `key` in a URL's query, or nothing.
std::optional<std::string> RawQueryValue(const std::string& target, const std::string& key);

} // namespace sandbox
