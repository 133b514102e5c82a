#pragma once
// Independent reading of what the RSA request writes, through OpenSSL's own parsers and the
// openssl tool, for the request tests and the end-to-end test of the command-line tool.

#include <string>
#include <vector>

namespace cq::test {

/// The DER of a PEM request text (Base64 of all lines but the first and the last).
std::string RequestDerFromText(const std::string& requestText);

/// One attribute of the request's subject as OpenSSL reads it.
struct NameEntry {
    std::string oid;
    int stringType = 0; ///< V_ASN1_PRINTABLESTRING, V_ASN1_IA5STRING, ...
    std::string value;
};
std::vector<NameEntry> RequestSubject(const std::string& requestDer);
/// Test expectations: the request's subject is `expected`, entry by entry.
void ExpectRequestSubject(const std::string& requestDer, const std::vector<NameEntry>& expected);

/// The request's modulus as upper-case hex, as `openssl req -modulus` prints it.
std::string RequestModulusHex(const std::string& requestDer);

/// What OpenSSL finds in a traditional PEM key file decrypted with `passwordBytes`.
struct KeyFacts {
    bool loaded = false;
    std::string modulusHex;
    int pBits = 0, qBits = 0;
    bool pTopTwoSet = false, qTopTwoSet = false;
};
KeyFacts ReadKeyFile(const std::string& path, const std::string& passwordBytes);

/// Runs the openssl tool; the status and output.
struct ToolResult {
    int status = -1;
    std::string out;
    std::string err;
};
ToolResult Openssl(const std::vector<std::string>& args);

/// Copies the act templates of resources/ into a program folder.
void InstallActTemplates(const std::string& programFolder);

/// True when every line end of the text is CR LF and the text ends with one.
bool HasOnlyCrLfLines(const std::string& text);

} // namespace cq::test
