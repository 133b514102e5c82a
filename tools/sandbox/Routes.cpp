#include "Routes.h"

#include "Files.h"
#include "Issuer.h"
#include "RequestText.h"

#include <httplib.h>

#include <cstdio>
#include <stdexcept>

namespace sandbox {

namespace {

constexpr size_t kLargestSample = 512u << 20;

Reply TextReply(int status, const std::string& text) {
    return {status, text + "\n", "text/plain"};
}

std::string Page(const std::string& title, const std::string& content) {
    return "<html><head><title>" + title + "</title></head>\n<body>\n<h1>" + title + "</h1>\n" +
           content + "\n</body></html>\n";
}

std::string RequestPage(const std::string& pem, Fault fault) {
    if (fault == Fault::NoMarker)
        return Page("Request received", "<p>The request is being processed.</p>");
    return Page("Request received",
                "<pre>\n" + (fault == Fault::MarkerLowercase ? LowerAscii(pem) : pem) + "</pre>");
}

std::string SampleText(size_t size) {
    std::string text;
    text.reserve(size + 128);
    for (unsigned line = 0; text.size() < size; ++line) {
        char row[128];
        std::snprintf(row, sizeof row,
                      "%08u The certification service answers the same sample line again.\n", line);
        text += row;
    }
    text.resize(size);
    return text;
}

} // namespace

Routes::Routes(std::string dir, std::optional<double> issueDelaySeconds)
    : dir_(FolderPath(dir)), issueDelaySeconds_(issueDelaySeconds) {}

Reply Routes::submitRequest(const httplib::Request& request, Fault fault, bool gostOnly) const {
    const std::optional<std::string> raw = RawQueryValue(request.target, "cert");
    if (!raw)
        return TextReply(400, "The cert parameter is missing.");
    std::string why;
    const std::optional<SubmittedRequest> submitted =
        ParseSubmittedRequest(DecodeQueryValue(*raw), why);
    if (!submitted)
        return TextReply(400, why);
    if (gostOnly && !submitted->gost)
        return TextReply(400, "This path takes GOST requests only.");
    MakeFolder(dir_ + "requests");
    WriteFileAtomically(RequestPath(dir_, submitted->email), submitted->pem);
    return {200, RequestPage(submitted->pem, fault), "text/html"};
}

void Routes::issueWhenDue(const std::string& address) {
    if (!issueDelaySeconds_ || IsStoredRequestIssued(dir_, address))
        return;
    const std::optional<double> age = FileAgeSeconds(RequestPath(dir_, address));
    if (!age || *age < *issueDelaySeconds_)
        return;
    std::lock_guard<std::mutex> lock(issueMutex_);
    if (!IsStoredRequestIssued(dir_, address))
        IssueCertificate(dir_, address, IssueOptions{});
}

Reply Routes::certificate(const std::string& address, bool gostOnly) {
    const std::string lowered = LowerAscii(address);
    if (!IsSafeFileName(lowered))
        return notFound();
    if (gostOnly && !IsGostRequestStored(dir_, lowered))
        return notFound();
    issueWhenDue(lowered);
    const std::optional<std::string> pem = ReadWholeFile(IssuedPath(dir_, lowered));
    if (!pem)
        return {404, Page("404 Not Found", "<p>The certificate has not been issued.</p>")};
    return {200, *pem, "application/x-x509-user-cert"};
}

Reply Routes::sample(const httplib::Request& request) const {
    try {
        size_t used = 0;
        const std::string text = request.get_param_value("bytes");
        const unsigned long long size = std::stoull(text, &used);
        if (used != text.size() || size > kLargestSample)
            throw std::out_of_range("size");
        return {200, SampleText(static_cast<size_t>(size)), "text/plain"};
    } catch (const std::exception&) {
        return TextReply(400, "bytes must be a number up to 536870912.");
    }
}

Reply Routes::notFound() const {
    return {404, Page("404 Not Found", "<p>There is nothing here.</p>")};
}

} // namespace sandbox
