#include "RequestText.h"

#include "Files.h"
#include "Pki.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/pem.h>

#include <algorithm>
#include <memory>
#include <string_view>

namespace sandbox {

namespace {

/// The text without its empty lines. A client whose Base64 fills its last line exactly sends an
/// empty line before the END line; OpenSSL's PEM reader takes an empty line for the end of
/// encapsulated headers and refuses the request, while the real service takes it.
std::string WithoutEmptyLines(const std::string& text) {
    std::string kept;
    kept.reserve(text.size());
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = std::min(text.find('\n', start), text.size() - 1) + 1;
        const std::string_view line(text.data() + start, end - start);
        if (line.find_first_not_of("\r\n") != std::string_view::npos)
            kept.append(line);
        start = end;
    }
    return kept;
}

RequestPtr ParsePem(const std::string& raw) {
    const std::string text = WithoutEmptyLines(raw);
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(
        BIO_new_mem_buf(text.data(), static_cast<int>(text.size())), BIO_free);
    RequestPtr request(bio ? PEM_read_bio_X509_REQ(bio.get(), nullptr, nullptr, nullptr) : nullptr);
    ERR_clear_error();
    return request;
}

std::optional<std::string> SubjectEmail(X509_REQ* request) {
    X509_NAME* subject = X509_REQ_get_subject_name(request);
    const int index = X509_NAME_get_index_by_NID(subject, NID_pkcs9_emailAddress, -1);
    if (index < 0)
        return std::nullopt;
    const ASN1_STRING* value = X509_NAME_ENTRY_get_data(X509_NAME_get_entry(subject, index));
    const auto* bytes = reinterpret_cast<const char*>(ASN1_STRING_get0_data(value));
    return LowerAscii(std::string(bytes, static_cast<size_t>(ASN1_STRING_length(value))));
}

std::optional<std::string> NewArmour(X509_REQ* request) {
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new(BIO_s_mem()), BIO_free);
    if (!bio || !PEM_write_bio_X509_REQ_NEW(bio.get(), request))
        return std::nullopt;
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio.get(), &data);
    return std::string(data, static_cast<size_t>(length));
}

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

} // namespace

std::optional<SubmittedRequest> ParseSubmittedRequest(const std::string& text, std::string& why) {
    const RequestPtr request = ParsePem(text);
    if (!request) {
        why = "The certificate request cannot be read.";
        return std::nullopt;
    }
    const std::optional<std::string> email = SubjectEmail(request.get());
    if (!email || !IsSafeFileName(*email) || email->find('@') == std::string::npos) {
        why = "The certificate request has no usable e-mail address.";
        return std::nullopt;
    }
    const std::optional<std::string> pem = NewArmour(request.get());
    if (!pem) {
        why = "The certificate request cannot be written.";
        return std::nullopt;
    }
    return SubmittedRequest{*email, *pem, HasGostKey(request.get())};
}

std::string DecodeQueryValue(const std::string& text) {
    std::string decoded;
    decoded.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+') {
            decoded += ' ';
        } else if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
                   HexValue(text[i + 2]) >= 0) {
            decoded += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        } else {
            decoded += text[i];
        }
    }
    return decoded;
}

std::optional<std::string> RawQueryValue(const std::string& target, const std::string& key) {
    const size_t query = target.find('?');
    if (query == std::string::npos)
        return std::nullopt;
    size_t start = query + 1;
    while (start <= target.size()) {
        const size_t end = std::min(target.find('&', start), target.size());
        const std::string pair = target.substr(start, end - start);
        if (pair.rfind(key + "=", 0) == 0)
            return pair.substr(key.size() + 1);
        start = end + 1;
    }
    return std::nullopt;
}

} // namespace sandbox
